// Benchmark main shared by every bench_* program.
//
// Benchmarks are named "<case>/<variant>" where the variant is the last path
// element ("lib" for the library's own code, other names for baselines such
// as "scalar", "floor" or "engine").  After the run, one line per case lists
// each baseline's time as a ratio to "lib" (or to the first variant when
// there is no "lib"), so the figures that matter come from one run on one
// machine.  With --benchmark_repetitions the ratio is between medians; on a
// shared machine add --benchmark_enable_random_interleaving=true, so that a
// slow spell hits every variant alike.

#include "bench/bench_main.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      std::string name = run.benchmark_name();
      // UseRealTime() and UseManualTime() append these.
      for (const std::string timer : {"/real_time", "/manual_time"}) {
        if (name.size() > timer.size() &&
            name.compare(name.size() - timer.size(), timer.size(), timer) == 0) {
          name.resize(name.size() - timer.size());
        }
      }
      const auto slash = name.rfind('/');
      if (slash == std::string::npos) continue;
      std::string variant = name.substr(slash + 1);
      const auto colon = variant.find(':');  // strip "real_time" and similar
      if (colon != std::string::npos) variant.resize(colon);
      auto& variants = cases_[name.substr(0, slash)];
      auto it = std::find_if(variants.begin(), variants.end(),
                             [&](const auto& v) { return v.first == variant; });
      if (it == variants.end()) it = variants.insert(variants.end(), {variant, {}});
      it->second.push_back(run.GetAdjustedRealTime());
    }
  }

  BenchMedians Medians() const {
    BenchMedians m;
    for (const auto& [name, variants] : cases_) {
      for (const auto& [variant, times] : variants) m[name][variant] = median(times);
    }
    return m;
  }

  void PrintRatios() const {
    std::printf("\nRatios against the library in this run (time of X / time of lib):\n");
    for (const auto& [name, variants] : cases_) {
      double base = median(variants.front().second);
      for (const auto& [variant, times] : variants)
        if (variant == "lib") base = median(times);
      std::printf("  %-40s", name.c_str());
      for (const auto& [variant, times] : variants) {
        if (variant == "lib") continue;
        std::printf("  %s/lib = %.3f", variant.c_str(), median(times) / base);
      }
      std::printf("\n");
    }
  }

 private:
  static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 != 0 ? v[m] : (v[m - 1] + v[m]) / 2;
  }

  // Per case, in order of first appearance: each variant's times, one per
  // repetition.
  std::map<std::string, std::vector<std::pair<std::string, std::vector<double>>>> cases_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  if (amix_bench_summary != nullptr) amix_bench_summary(reporter.Medians());
  benchmark::Shutdown();
  return 0;
}
