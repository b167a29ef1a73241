// Loudness as ffmpeg's ebur128 filter (peak=true) measures it, on files
// that sox and ffmpeg make; and --loudness reaching its target, or falling
// short by what the summary says, as that meter reads the output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <regex>

#include "tests/tools/amix_runner.h"

namespace amix_test {
namespace {

using ::testing::HasSubstr;

constexpr double kSilent = -std::numeric_limits<double>::infinity();

struct Figures {
  double lufs, range, true_peak;  // kSilent where amix says "silent"
};

// Speech-like: mono 16 kHz syllables of band-passed noise between pauses,
// rising and falling by phrase; music-like: a stereo 44.1 kHz sawtooth and
// square (over-full-scale true peaks) fading in; 5.1 pink noise with a
// full-level LFE (which must not count) and quieter back channels; a 12 kHz
// sine whose samples miss its crests; and digital silence.
const char kSources[] =
    "$SOX -R -n -r 16000 -c 1 speech.wav synth 0.35 pinknoise band 600 400 tremolo 5 90 "
    "pad 0 0.25 repeat 9 tremolo 0.2 70 gain -n -3\n"
    "$SOX -R -n -r 44100 -c 2 music.wav synth 6 sawtooth 220 square 330 fade q 2.5 6 1 gain -n -1\n"
    "$FFMPEG -v error -f lavfi -i 'anoisesrc=d=4:c=pink:r=48000:a=0.5,"
    "pan=5.1|c0=c0|c1=0.8*c0|c2=0.6*c0|c3=c0|c4=0.5*c0|c5=0.5*c0' -c:a pcm_s16le surround.wav\n"
    "$FFMPEG -v error -f lavfi -i 'aevalsrc=0.9*sin(2*PI*12000*t+PI/4):s=48000:d=1' "
    "-c:a pcm_s16le peaks.wav\n"
    "$SOX -R -n -r 48000 -c 2 silence.wav trim 0 2\n";

class LoudnessTest : public ToolTest {
 protected:
  void SetUp() override {
    if (!have_sox() || !have_ffmpeg()) GTEST_SKIP() << "sox or ffmpeg is not installed";
  }

  // ffmpeg's figures: the last of those its meter puts in each frame's
  // metadata, which have three decimals where its summary has one.
  Figures ffmpeg_meter(const std::string& file) {
    sh("$FFMPEG -nostats -v error -i " + file + " -af ebur128=peak=true:metadata=1," +
       "ametadata=print:file=" + file + ".meter -f null -");
    const std::string meter = slurp(p(file + ".meter"));
    const auto last = [&](const std::string& key) {
      const std::string field = "lavfi.r128." + key + "=";
      return std::atof(meter.c_str() + meter.rfind(field) + field.size());
    };
    const double peak = last("true_peak");
    return {last("I"), last("LRA"), peak > 0 ? 20 * std::log10(peak) : kSilent};
  }

  Figures amix_meter(const std::string& file) {
    const std::string out = amix({"info", p(file)}).out;
    const auto value = [&](const std::string& label) {
      const size_t at = out.find("\n  " + label);
      EXPECT_NE(at, std::string::npos) << label;
      const std::string v = out.substr(at + 3 + 10);
      return v.rfind("silent", 0) == 0 ? kSilent : std::atof(v.c_str());
    };
    return {value("loudness "), value("range "), value("true peak ")};
  }
};

TEST_F(LoudnessTest, InfoMeasuresAsFfmpegsMeter) {
  sh(kSources);
  for (const char* file : {"speech.wav", "music.wav", "surround.wav", "peaks.wav"}) {
    SCOPED_TRACE(file);
    const Figures a = amix_meter(file), f = ffmpeg_meter(file);
    EXPECT_NEAR(a.lufs, f.lufs, 0.1);
    EXPECT_NEAR(a.range, f.range, 0.1);
    EXPECT_NEAR(a.true_peak, f.true_peak, 0.1);
  }
  // ffmpeg floors silence at -70 LUFS; amix names it.
  EXPECT_THAT(amix({"info", p("silence.wav")}).out,
              HasSubstr("loudness  silent\n  range     silent\n  true peak silent\n"));
}

// The summary's "-20.0 LUFS (+1.23 dB, true peak -1.0 dBTP)" and, when the
// ceiling held the gain, ": 1.10 LU short of ...".  What is measured is what
// is written: the part taken, through the map, with its padding (which
// moves a short clip's loudness by up to 0.5 LU); a 16-bit output is
// dithered after the gain, and the same run gives the same bytes.
TEST_F(LoudnessTest, NormalisedOutputsReachTheTargetOrFallShortAsSaid) {
  sh(kSources);
  const std::string trimmed =
      "$AMIX convert musicf.wav trimmed.wav --start 1 --duration 3 --bits 16 --loudness -20";
  const struct {
    std::string command, out;
    double target, ceiling;
    bool short_of_target, dithered;
  } cases[] = {
      {"$AMIX convert speech.wav out.wav --loudness -28", "out.wav", -28, -1, false, false},
      // Loud with true peaks over full scale: the -2 dBTP ceiling holds it.
      {"$AMIX convert music.wav out.flac --loudness -3 --true-peak -2", "out.flac", -3, -2, true,
       false},
      {"$AMIX mix speech.wav music.wav -o mix.wav --loudness -16 --rate 48000", "mix.wav", -16, -1,
       false, true},
      {"$AMIX mix music.wav speech.wav -o mix.flac --loudness -14 --bits 24", "mix.flac", -14, -1,
       false, false},
      {"$AMIX mix music.wav speech.wav -o mixf.wav --loudness -30 --bits float", "mixf.wav", -30,
       -1, false, false},
      // A pipe is read twice through a temporary copy.
      {"$FFMPEG -v error -i surround.wav -f wav - | $AMIX convert - piped.wav --loudness -20",
       "piped.wav", -20, -1, false, true},
      {"$SOX -R -n -r 44100 -c 2 -e floating-point -b 32 musicf.wav synth 6 sawtooth 220 "
       "square 330 fade q 2.5 6 1 gain -n -10 &&\n" + trimmed,
       "trimmed.wav", -20, -1, false, true},
      {"$AMIX convert surround.wav mapped.wav -s 0.5 -m 2,1 --pad 1,2 --loudness -18",
       "mapped.wav", -18, -1, false, true},
  };
  const std::regex summary(
      R"((-?[0-9.]+) LUFS \([+-][0-9.]+ dB, true peak (-?[0-9.]+) dBTP\)(: ([0-9.]+) LU short)?)");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const Result r = sh(c.command);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, summary)) << r.out;
    ASSERT_EQ(m[3].matched, c.short_of_target) << r.out;
    EXPECT_EQ(r.out.find("; TPDF dither") != std::string::npos, c.dithered) << r.out;
    const double shortfall = c.short_of_target ? std::atof(m[4].str().c_str()) : 0.0;
    const Figures f = ffmpeg_meter(c.out);
    EXPECT_NEAR(f.lufs, std::atof(m[1].str().c_str()), 0.1);
    EXPECT_NEAR(f.lufs, c.target - shortfall, 0.1);
    EXPECT_NEAR(f.true_peak, std::atof(m[2].str().c_str()), 0.1);
    EXPECT_LE(f.true_peak, c.ceiling + 0.1);
    if (c.short_of_target) {
      EXPECT_GT(shortfall, 0.5);
      EXPECT_NEAR(f.true_peak, c.ceiling, 0.1);
    }
  }

  sh("mv trimmed.wav first.wav && " + trimmed);
  EXPECT_EQ(slurp(p("trimmed.wav")), slurp(p("first.wav")));

  // Silence takes no gain and stays as it is.
  EXPECT_THAT(amix({"convert", p("silence.wav"), p("quiet.wav"), "--loudness", "-23"}).out,
              HasSubstr("silent: no gain for --loudness"));
  EXPECT_EQ(read_sound(p("quiet.wav")).f64, read_sound(p("silence.wav")).f64);
}

// The gain goes on in floating point and each sample is rounded once, to
// the nearest step of the output's own width: within half a step of input
// x gain, and no bias (a truncating quantiser would be half a step low on
// average).  A 16-bit output is dithered after the gain: its error is the
// dither's 0.5 step RMS, within 1.5 steps, and as unbiased; with --dither
// none it is rounded as 24-bit is.
TEST_F(LoudnessTest, GainIsRoundedToTheNearestStepOfTheOutput) {
  sh("$SOX -R -n -r 48000 -b 24 in24.wav synth 4 pinknoise gain -12\n"
     "$SOX -R -n -r 48000 -b 16 in16.wav synth 4 pinknoise gain -12");
  const struct {
    const char* in;
    const char* dither;
    int bits;
    double worst, rms;  // of the error, in steps of the output
  } cases[] = {
      {"in24.wav", "tpdf", 24, 0.52, 0.289},
      {"in16.wav", "none", 16, 0.52, 0.289},
      {"in16.wav", "tpdf", 16, 1.52, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " --dither " + c.dither);
    amix({"convert", p(c.in), p("out.wav"), "--loudness", "-8", "--dither", c.dither});
    const Sound in = read_sound(p(c.in)), out = read_sound(p("out.wav"));
    ASSERT_EQ(in.f64.size(), out.f64.size());
    double in_out = 0, in_in = 0;
    for (size_t i = 0; i < in.f64.size(); ++i) {
      in_out += in.f64[i] * out.f64[i];
      in_in += in.f64[i] * in.f64[i];
    }
    const double gain = in_out / in_in, step = 1.0 / (1 << (c.bits - 1));
    EXPECT_GT(gain, 1.5);
    double worst = 0, bias = 0, squares = 0;
    for (size_t i = 0; i < in.f64.size(); ++i) {
      const double error = (out.f64[i] - in.f64[i] * gain) / step;
      worst = std::max(worst, std::fabs(error));
      bias += error;
      squares += error * error;
    }
    const double n = static_cast<double>(in.f64.size());
    EXPECT_LE(worst, c.worst);
    EXPECT_LT(std::fabs(bias / n), 0.02);
    EXPECT_NEAR(std::sqrt(squares / n), c.rms, 0.02);
  }
}

}  // namespace
}  // namespace amix_test
