// What bench_main.cc offers the benchmark programs.
#pragma once

#include <map>
#include <string>

// Each case's variants with their median real time per iteration (ns) in
// this run: medians["<case>"]["<variant>"].
using BenchMedians = std::map<std::string, std::map<std::string, double>>;

// A benchmark program may define this to print a summary of its own after
// the ratios, from the same run's medians.
void amix_bench_summary(const BenchMedians& medians) __attribute__((weak));
