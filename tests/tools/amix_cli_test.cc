// End-to-end runs of the amix tool on files the tests make.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>

#include "tests/tools/amix_runner.h"

namespace amix_test {
namespace {

using ::testing::HasSubstr;

// 0.5 of full scale, as 16-bit samples: -6.02 dBFS peak, -9.03 dBFS RMS.
constexpr double kHalf = 0.5;
const double kHalfRmsDb = 20 * std::log10(kHalf / std::sqrt(2.0));

// The rows of a mix's block table (the lines that start with a block
// number), split into their fields: number, start, peak, dBFS, gain, ...,
// the inputs that sound.
std::vector<std::vector<std::string>> table_rows(const std::string& out) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream in(line);
    std::vector<std::string> fields{std::istream_iterator<std::string>(in), {}};
    if (!fields.empty() && fields[0].find_first_not_of("0123456789") == std::string::npos)
      rows.push_back(fields);
  }
  return rows;
}

class AmixTest : public ToolTest {
 protected:
  std::string tone(const std::string& name, int rate, int channels, double freq,
                   double seconds = 1.0, double amplitude = kHalf) {
    write_s16(p(name), rate, channels, sine_s16(rate, channels, seconds, freq, amplitude));
    return p(name);
  }
};

TEST_F(AmixTest, ConvertKeepsFrequencyAndLevelAcrossRateLayoutAndBits) {
  const std::string in = tone("in.wav", 44100, 1, 1000.0);
  struct Case {
    std::vector<std::string> options;
    int rate, channels, subtype;
  } cases[] = {
      {{"--rate", "48000", "--layout", "stereo", "--bits", "float"}, 48000, 2, SF_FORMAT_FLOAT},
      {{"--rate", "22050"}, 22050, 1, SF_FORMAT_PCM_16},
      {{"--bits", "32", "--layout", "quad"}, 44100, 4, SF_FORMAT_PCM_32},
      {{"--rate", "32000", "--bits", "8"}, 32000, 1, SF_FORMAT_PCM_U8},
  };
  for (const Case& c : cases) {
    const std::string out = dir.path("out.wav");
    std::vector<std::string> args = {"convert", in, out};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = run_amix(args);
    SCOPED_TRACE(r.out + r.err);
    ASSERT_EQ(r.status, 0);
    const Sound s = read_sound(out);
    EXPECT_EQ(s.info.samplerate, c.rate);
    EXPECT_EQ(s.info.channels, c.channels);
    EXPECT_EQ(s.info.format & SF_FORMAT_SUBMASK, c.subtype);
    EXPECT_EQ(s.frames(), c.rate);  // one second in, one second out
    const int mono_channel = c.channels == 4 ? 0 : c.channels - 1;
    EXPECT_NEAR(measured_frequency(s, mono_channel), 1000.0, 0.5);
    // Mono spreads into both front speakers at -3 dB each.
    const double expected_db = c.channels == 1 ? kHalfRmsDb : kHalfRmsDb - 3.01;
    EXPECT_NEAR(measured_rms_dbfs(s, mono_channel), expected_db, 0.3);
  }
}

// 24-bit inputs (WAVEX, as sox writes them) stay 24-bit without --bits.
TEST_F(AmixTest, TwentyFourBitFilesStayTwentyFourBit) {
  write_f64(p("in24.wav"), 44100, 1, std::vector<double>(22050, 0.25),
            SF_FORMAT_WAVEX | SF_FORMAT_PCM_24);
  const Result kept = amix({"convert", p("in24.wav"), p("out24.wav"), "--rate", "48000"});
  EXPECT_THAT(kept.out, HasSubstr("48000 Hz mono 24-bit"));
  EXPECT_EQ(read_sound(p("out24.wav")).info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
}

// Layouts with more than two channels are written as WAVEX with their
// speakers, and read back as the same layout.
TEST_F(AmixTest, ConvertWritesChannelMaps) {
  const std::string in = tone("stereo.wav", 48000, 2, 440.0, 0.2);
  const struct {
    const char* layout;
    std::vector<int> map;
  } cases[] = {
      {"5.1", {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE,
               SF_CHANNEL_MAP_SIDE_LEFT, SF_CHANNEL_MAP_SIDE_RIGHT}},
      {"2.1", {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_REAR_CENTER}},
      {"7.1-wide", {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER,
                    SF_CHANNEL_MAP_LFE, SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT,
                    SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER, SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout);
    const std::string out = dir.path(std::string("surround-") + c.layout + ".wav");
    ASSERT_EQ(run_amix({"convert", in, out, "--layout", c.layout}).status, 0);
    const Sound s = read_sound(out);
    EXPECT_EQ(s.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAVEX);
    EXPECT_EQ(s.channel_map, c.map);
    EXPECT_THAT(amix({"info", out}).out, HasSubstr("(" + std::string(c.layout) + ")"));
    // Back to stereo through the file's own channel map.
    ASSERT_EQ(run_amix({"convert", out, dir.path("back.wav"), "--layout", "stereo"}).status, 0);
    EXPECT_EQ(read_sound(dir.path("back.wav")).info.channels, 2);
  }
}

// Where rate and layout stay, every sample type passes through unchanged,
// 8-bit included (unsigned in WAV, signed in FLAC); --bits 24 widens 16-bit
// samples exactly, in every container that holds it.
TEST_F(AmixTest, ConvertIsExactWhenOnlyTheContainerOrWidthChanges) {
  std::vector<double> ramp;
  for (int i = 0; i < 3000; ++i) ramp.push_back(((i * 7919) % 65536 - 32768) / 32768.0);
  const struct {
    int subtype;
    std::vector<std::string> outs, options;
  } cases[] = {
      {SF_FORMAT_PCM_U8, {"out.wav", "out.flac", "out.aiff"}, {}},
      {SF_FORMAT_PCM_16, {"out.wav", "out.aiff"}, {}},
      {SF_FORMAT_PCM_32, {"out.wav", "out.aiff"}, {}},
      {SF_FORMAT_FLOAT, {"out.wav", "out.aiff"}, {}},
      {SF_FORMAT_PCM_16, {"wide.wav", "wide.flac", "wide.aiff", "wide.caf"}, {"--bits", "24"}},
  };
  for (const auto& c : cases) {
    write_f64(p("in.wav"), 8000, 3, ramp, SF_FORMAT_WAV | c.subtype);
    const Sound in = read_sound(p("in.wav"));
    for (const std::string& out : c.outs) {
      SCOPED_TRACE(::testing::Message() << "subtype " << c.subtype << " to " << out);
      std::vector<std::string> args = {"convert", p("in.wav"), p(out)};
      args.insert(args.end(), c.options.begin(), c.options.end());
      const Result r = amix(args);
      const Sound s = read_sound(p(out));
      if (!c.options.empty()) {
        EXPECT_THAT(r.out, HasSubstr("8000 Hz 3.0 24-bit"));
        EXPECT_EQ(s.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_24);
      }
      EXPECT_EQ(s.info.channels, 3);
      EXPECT_EQ(s.f64, in.f64);
    }
  }
}

// --map picks IN's channels by number, in any order, 0 for silence; the
// result takes the layout of its count, and IN's layout need not be one the
// library knows.
TEST_F(AmixTest, MapPicksChannels) {
  std::vector<int16_t> seven;  // frame i: channel c holds 1000 c + i
  for (int16_t i = 0; i < 100; ++i)
    for (int c = 1; c <= 7; ++c) seven.push_back(static_cast<int16_t>(1000 * c + i));
  write_s16(p("seven.wav"), 8000, 7, seven);
  std::vector<double> u8(200);
  for (size_t i = 0; i < u8.size(); ++i) u8[i] = (i % 2 == 0 ? 1 : -1) * (i / 2) / 128.0;
  write_f64(p("u8.wav"), 8000, 2, u8, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  const struct {
    const char* in;
    const char* map;
    std::vector<int> channels;  // of seven.wav or u8.wav, from 1; 0 silent
    int count_of_layout;        // 0: the same as IN's
  } cases[] = {
      {"seven.wav", "2", {2}, 1},          {"seven.wav", "7,1", {7, 1}, 2},
      {"seven.wav", "3,0,3", {3, 0, 3}, 3}, {"u8.wav", "2,1", {2, 1}, 0},
      {"u8.wav", "1,0", {1, 0}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " " + c.map);
    const Sound in = read_sound(p(c.in));
    amix({"convert", p(c.in), p("out.wav"), "--map", c.map});
    const Sound out = read_sound(p("out.wav"));
    const int n = static_cast<int>(c.channels.size());
    ASSERT_EQ(out.info.channels, n);
    ASSERT_EQ(out.frames(), in.frames());
    for (int64_t f = 0; f < in.frames(); ++f)
      for (int ch = 0; ch < n; ++ch) {
        const int from = c.channels[ch];
        ASSERT_EQ(out.s16[f * n + ch], from == 0 ? 0 : in.s16[f * in.info.channels + from - 1])
            << "frame " << f << " channel " << ch;
      }
    EXPECT_THAT(amix({"info", p("out.wav")}).out,
                HasSubstr(n == 1 ? "1 (mono)" : n == 2 ? "2 (stereo)" : "3 (3.0)"));
  }
}

// What info says of a tone, of a float file with NaN and infinite samples
// (counted apart and kept out of the levels), of a 24-bit file and of a
// rate amix cannot take; without a channel map the layout follows the
// channel count.
TEST_F(AmixTest, InfoReportsFormatLengthAndLevels) {
  const std::string in = tone("in.wav", 44100, 2, 1000.0, 2.0);
  const double inf = std::numeric_limits<double>::infinity();
  write_f64(p("odd.wav"), 8000, 1, {0.5, -0.5, std::nan(""), 0.25, inf, -inf, 0.5, -0.5},
            SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  write_f64(p("in24.wav"), 44100, 1, std::vector<double>(100, 0.25),
            SF_FORMAT_WAVEX | SF_FORMAT_PCM_24);
  write_s16(p("one.wav"), 1, 1, std::vector<int16_t>(100, 1000));
  const struct {
    std::string in;
    std::vector<std::string> lines;
  } cases[] = {
      // BS.1770's calibration: a 1 kHz sine at full scale in one channel is
      // -3.01 LUFS; two channels at -6.02 dBFS are -6.02 LUFS.  Under 3 s the
      // range has no short-term values.
      {in,
       {"44100 Hz", "2 (stereo)", "16-bit", "88200", "  duration  0:00:02.000\n",
        "peak      -6.02 dBFS", "rms       -9.03 dBFS",
        "loudness  -6.0 LUFS\n  range     0.0 LU\n  true peak -6.0 dBTP\n"}},
      // The mean square of the five finite samples is 1.0625 / 5.
      {p("odd.wav"),
       {"  peak      -6.02 dBFS\n", "  rms       -6.73 dBFS\n",
        "  nan/inf   3 samples, left out of peak and rms\n"}},
      {p("in24.wav"), {"  samples   24-bit\n"}},
      {p("one.wav"), {"  rate      1 Hz (outside 1000 to 768000 Hz"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    const std::string out = amix({"info", c.in}).out;
    for (const std::string& line : c.lines) EXPECT_THAT(out, HasSubstr(line));
  }

  const char* layouts[] = {"", "mono", "stereo", "3.0", "quad", "4.1", "5.1-back",
                           "no layout the library knows", "7.1"};
  for (int channels = 1; channels <= 8; ++channels) {
    SCOPED_TRACE(channels);
    const std::string plain = tone("plain.wav", 8000, channels, 440.0, 0.05);
    ASSERT_TRUE(read_sound(plain).channel_map.empty());
    EXPECT_THAT(amix({"info", plain}).out,
                HasSubstr(std::to_string(channels) + " (" + layouts[channels] + ")"));
  }

  // Several files: a bad one is reported, the others still shown.
  const Result several = amix({"info", in, p("missing.wav"), in}, 1);
  EXPECT_THAT(several.err, HasSubstr("cannot read '" + p("missing.wav") + "'"));
  EXPECT_EQ(std::count(several.out.begin(), several.out.end(), '\n'), 2 * 12 + 1);

  // Where amix itself brings floats to 16 bits (for the blocking
  // resampler), NaN becomes silence and the infinities full scale.
  amix({"stream", p("odd.wav"), p("s16.wav"), "--dither", "none"});
  EXPECT_EQ(read_sound(p("s16.wav")).s16,
            (std::vector<int16_t>{16384, -16384, 0, 8192, 32767, -32768, 16384, -16384}));
}

// Each input starts at its time on the timeline to the frame, with silence
// before it, and sums exactly where nothing is limited (two half-scale
// sines): here at 48000 Hz, a at 0, b at 0.25 s (frame 12000) and c, a
// 96000 Hz file, at 1.5 s (frame 72000).
TEST_F(AmixTest, MixPlacesEachInputOnTheTimelineToTheFrame) {
  tone("a.wav", 48000, 2, 440.0, 1.0);
  tone("b.wav", 48000, 2, 660.0, 0.5);
  amix({"convert", tone("c.wav", 96000, 2, 700.0, 0.25, 0.3), p("c48k.wav"), "--rate", "48000"});
  const Result r = amix({"mix", p("a.wav"), p("b.wav"), p("c.wav"), "-o", p("mix.wav"), "--at",
                         "0,0:00.25,0:00:01.5", "--limiter-block", "50", "--table"});
  EXPECT_THAT(r.out, HasSubstr(", 0 limited"));
  const Sound a = read_sound(p("a.wav")), b = read_sound(p("b.wav")),
              c = read_sound(p("c48k.wav")), mix = read_sound(p("mix.wav"));
  ASSERT_EQ(mix.frames(), 72000 + c.frames());
  for (size_t i = 0; i < mix.s16.size(); ++i) {
    const size_t frame = i / 2;
    int expected = 0;
    if (frame < 48000) expected += a.s16[i];
    if (frame >= 12000 && frame < 36000) expected += b.s16[i - 2 * 12000];
    if (frame >= 72000) expected += c.s16[i - 2 * 72000];
    ASSERT_EQ(mix.s16[i], expected) << "sample " << i;
  }
  // The table's blocks of 50 ms name the inputs that sound in them.
  std::map<std::string, std::string> inputs;  // by the block's start
  for (const auto& row : table_rows(r.out)) inputs[row[1]] = row.back();
  EXPECT_EQ(inputs["0:00:00.000"], "1");
  EXPECT_EQ(inputs["0:00:00.250"], "1,2");
  EXPECT_EQ(inputs["0:00:01.250"], "-");
  EXPECT_EQ(inputs["0:00:01.500"], "3");
  EXPECT_THAT(r.err, HasSubstr("'" + p("b.wav") + "' ends at 0:00:00.750, the mix at 0:00:01.7"));
}

// The gain column: limiting brings it down; once the loud input has ended
// it recovers toward 1 a little with every block.
TEST_F(AmixTest, TheTableShowsTheMasterGainOfEachBlock) {
  const std::string a = tone("a.wav", 8000, 1, 300.0, 1.0, 0.9);
  const std::string b = tone("b.wav", 8000, 1, 300.0, 0.5, 0.9);
  const Result r = amix({"mix", a, b, "-o", p("mix.wav"), "--limiter-block", "62.5", "--table"});
  std::vector<double> gains;
  for (const auto& row : table_rows(r.out)) gains.push_back(std::atof(row[4].c_str()));
  ASSERT_EQ(gains.size(), 16u);
  for (size_t i = 0; i < 8; ++i) EXPECT_NEAR(gains[i], 0.556, 0.01) << "block " << i;
  for (size_t i = 8; i < gains.size(); ++i) {
    EXPECT_GT(gains[i], gains[i - 1]) << "block " << i;
    EXPECT_LT(gains[i], 1.0) << "block " << i;
  }
}

TEST_F(AmixTest, LoudMixIsLimitedWithoutWrapping) {
  const std::vector<int16_t> a = sine_s16(48000, 1, 0.5, 300.0, 0.9);
  const std::vector<int16_t> b = sine_s16(48000, 1, 0.5, 300.0, 0.8);
  write_s16(dir.path("a.wav"), 48000, 1, a);
  write_s16(dir.path("b.wav"), 48000, 1, b);
  const Result r = amix({"mix", dir.path("a.wav"), dir.path("b.wav"), "-o", dir.path("mix.wav"),
                         "--limiter-block", "21.34", "--volume", "1,1.5", "--table"});
  // 21.34 ms at 48000 Hz rounds to 1024 frames: 24 blocks of the 24000,
  // each one over full scale.
  EXPECT_THAT(r.out, HasSubstr("24 blocks, 24 limited"));
  EXPECT_THAT(r.out, HasSubstr("  limited  1,2\n"));
  const Sound s = read_sound(dir.path("mix.wav"));
  ASSERT_EQ(s.s16.size(), a.size());
  int peak = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    // Each track is scaled and clamped to 16 bits before the sum.
    const int sum = a[i] + std::clamp(static_cast<int>(b[i] * 1.5f), -32768, 32767);
    // Brought down, never past the sum and never flipped in sign.
    ASSERT_LE(std::abs(s.s16[i]), std::abs(sum)) << "sample " << i;
    ASSERT_FALSE((s.s16[i] < 0 && sum > 0) || (s.s16[i] > 0 && sum < 0)) << "sample " << i;
    peak = std::max(peak, std::abs(static_cast<int>(s.s16[i])));
  }
  EXPECT_GT(peak, 30000);
}

// --quality reaches the resampler of every command: a 23 kHz tone taken
// from 48 to 44.1 kHz folds back to 21.1 kHz through the default filter,
// and not through high (the default) or best; the summary names the preset
// and its engine.
TEST_F(AmixTest, QualityChoosesTheResamplersFilter) {
  std::vector<double> high_tone(12000);
  for (size_t i = 0; i < high_tone.size(); ++i)
    high_tone[i] = 0.5 * std::sin(2 * M_PI * 23000.0 * i / 48000);
  write_f64(p("in.wav"), 48000, 1, high_tone, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  const struct {
    std::vector<std::string> args;
    const char* engine;  // a regular expression
    double low, high;    // the fold-back's level, dBFS
  } cases[] = {
      {{"convert", p("in.wav"), p("out.wav"), "--quality", "default"}, "swr", -30, -6},
      {{"convert", p("in.wav"), p("out.wav")}, "(soxr|swr)", -400, -120},
      {{"mix", p("in.wav"), "-o", p("out.wav"), "--bits", "float", "-Q", "best"}, "(soxr|swr)",
       -400, -120},
      {{"stream", p("in.wav"), p("out.wav"), "--quality", "high"}, "(soxr|swr)", -400, -110},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--rate", "44100"});
    const Result r = amix(args);
    SCOPED_TRACE(r.out);
    const std::string quality = c.args.size() > 4 ? c.args.back() : "high";
    EXPECT_THAT(r.out, ::testing::ContainsRegex("; resampled from 48000 Hz at " + quality +
                                                " quality \\(" + c.engine + "\\)\n"));
    const double alias = tone_dbfs(read_sound(p("out.wav")), 0, 44100 - 23000);
    EXPECT_GT(alias, c.low);
    EXPECT_LT(alias, c.high);
  }
  EXPECT_THAT(amix({"convert", p("in.wav"), p("out.wav"), "-Q", "good"}, 2).err,
              HasSubstr("--quality: expected default|high|best, got 'good'"));
}

// Every width has its mixer: the sum of a float and a 16-bit input comes
// out to the width's precision (the float one dithered into a 16-bit mix,
// the 8-bit output dithered from it, 24-bit rounded from 32); at twice the
// volume each width's master gain limits the sum to full scale.
TEST_F(AmixTest, MixWritesEveryWidthThroughItsOwnMixer) {
  std::vector<double> a(24000);
  for (size_t i = 0; i < a.size(); ++i) a[i] = 0.45 * std::sin(2 * M_PI * 440.0 * i / 48000);
  write_f64(p("a.wav"), 48000, 1, a, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  const std::string b = tone("b.wav", 48000, 1, 660.0, 0.5, 0.45);
  const Sound in_b = read_sound(b);
  const struct {
    const char* bits;
    int subtype;
    double step;  // of the output
    double tolerance;  // in steps
  } cases[] = {
      {"8", SF_FORMAT_PCM_U8, 1.0 / 128, 2.5}, {"16", SF_FORMAT_PCM_16, 1.0 / 32768, 1.5},
      {"24", SF_FORMAT_PCM_24, 1.0 / (1 << 23), 1.5}, {"32", SF_FORMAT_PCM_32, 1e-7, 1},
      {"float", SF_FORMAT_FLOAT, 1e-7, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bits);
    const Result r = amix({"mix", p("a.wav"), b, "-o", p("mix.wav"), "--bits", c.bits});
    EXPECT_THAT(r.out, HasSubstr(", 0 limited, master gain down to 1.000, "));
    Sound s = read_sound(p("mix.wav"));
    EXPECT_EQ(s.info.format & SF_FORMAT_SUBMASK, c.subtype);
    ASSERT_EQ(s.f64.size(), a.size());
    for (size_t i = 0; i < a.size(); ++i)
      ASSERT_NEAR(s.f64[i], a[i] + in_b.f64[i], c.tolerance * c.step) << "sample " << i;

    const Result loud = amix(
        {"mix", p("a.wav"), b, "-o", p("mix.wav"), "--bits", c.bits, "--volume", "2,+6dB"});
    EXPECT_THAT(loud.out, HasSubstr(", 25 limited, master gain down to 0.584, "));
    s = read_sound(p("mix.wav"));
    for (size_t i = 0; i < a.size(); ++i) {
      ASSERT_LE(std::fabs(s.f64[i]), 1.0) << "sample " << i;
      ASSERT_GE(s.f64[i] * (a[i] + in_b.f64[i]), -c.tolerance * c.step) << "sample " << i;
    }
  }
}

// A faded full-scale tone is off from the ideal linear fades, sampled at
// its frames, by no more than the output's quantisation (the error's RMS
// against the unfaded tone's): fades and dB volumes on convert and mix,
// overlapping fades, and a fade-out on a pipe that ends before its header
// says, which must land on the true end.
TEST_F(AmixTest, FadesFollowTheIdealRampsToTheOutputsQuantisation) {
  constexpr int kRate = 48000;
  std::vector<double> tone(kRate);
  for (int i = 0; i < kRate; ++i) tone[i] = std::sin(2 * M_PI * 997.0 * i / kRate);
  write_f64(p("float.wav"), kRate, 1, tone, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  write_s16(p("s16.wav"), kRate, 1, sine_s16(kRate, 1, 1.0, 997.0, 1.0));
  struct Input {
    double volume, fade_in, fade_out, at = 0;  // seconds
  };
  const struct Case {
    std::string command;
    std::vector<Input> inputs;  // each plays `in`
    const char* in;
    double limit_db;
  } cases[] = {
      {"$AMIX convert s16.wav out.wav --fade-in 0.25 --fade-out 0.5 --gain -6dB",
       {{0.501187, 0.25, 0.5}}, "s16.wav", -90},
      {"$AMIX convert float.wav out.wav --fade-in 0.7 --fade-out 0.6", {{1, 0.7, 0.6}},
       "float.wav", -120},
      {"$AMIX mix s16.wav -o out.wav --at 0.1 --fade-in 0.2 --fade-out 0:00.4",
       {{1, 0.2, 0.4, 0.1}}, "s16.wav", -90},
      // 24000 of the 48000 frames the header gives, on a pipe.
      {"head -c 48044 s16.wav | $AMIX convert - out.wav --fade-out 0.25", {{1, 0, 0.25}},
       "s16.wav", -90},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    sh(c.command);
    const Sound out = read_sound(p("out.wav")), in = read_sound(p(c.in));
    double error = 0, power = 0;
    for (double v : in.f64) power += v * v / in.frames();
    for (int64_t f = 0; f < out.frames(); ++f) {
      double ideal = 0;
      for (const Input& i : c.inputs) {
        const int64_t lead = std::llround(i.at * kRate), n = out.frames() - lead;
        const int64_t fade_in = std::llround(i.fade_in * kRate);
        const int64_t fade_out = std::llround(i.fade_out * kRate);
        if (f < lead) continue;
        double g = 1;
        if (fade_in > 0) g = std::min(g, static_cast<double>(f - lead) / fade_in);
        if (fade_out > 0) g = std::min(g, static_cast<double>(n - (f - lead)) / fade_out);
        ideal += i.volume * g * in.f64[f - lead];
      }
      error += (out.f64[f] - ideal) * (out.f64[f] - ideal) / out.frames();
    }
    EXPECT_LT(10 * std::log10(error / power), c.limit_db);
  }
}

TEST_F(AmixTest, MixBringsInputsToOneFormatAndPadsShortOnes) {
  const std::string longer = tone("long.wav", 48000, 2, 440.0, 1.0);
  const std::string shorter = tone("short.wav", 22050, 1, 880.0, 0.5);
  const Result r = amix({"mix", longer, shorter, "-o", dir.path("mix.wav"), "--plot",
                         dir.path("mix.png")});
  EXPECT_THAT(r.err, HasSubstr("note: '" + shorter + "' ends at 0:00:00.500, the mix at 0:00:01.000: "
                               "padded with silence"));
  const Sound s = read_sound(dir.path("mix.wav"));
  EXPECT_EQ(s.info.samplerate, 48000);
  EXPECT_EQ(s.info.channels, 2);
  EXPECT_EQ(s.frames(), 48000);
  // After the short input ends only the long one plays, at its own level.
  const Sound alone = read_sound(longer);
  for (int64_t i = 30000 * 2; i < 48000 * 2; ++i) ASSERT_EQ(s.s16[i], alone.s16[i]);
  std::ifstream png(dir.path("mix.png"), std::ios::binary);
  char magic[8] = {};
  png.read(magic, 8);
  EXPECT_EQ(std::string(magic + 1, 3), "PNG");

  // --rate and --layout choose the common format.
  amix({"mix", longer, shorter, "-o", dir.path("mono.wav"), "--rate", "16000", "--layout",
        "mono"});
  const Sound mono = read_sound(dir.path("mono.wav"));
  EXPECT_EQ(mono.info.samplerate, 16000);
  EXPECT_EQ(mono.info.channels, 1);
}

// A limited mix depends on the limiter's block in time, never on how much
// the tool reads at a time, also where an input is resampled and faded.
TEST_F(AmixTest, MixBytesDependOnTheLimiterBlockNotOnBuffering) {
  write_s16(dir.path("a.wav"), 32000, 6, sine_s16(32000, 6, 0.3, 500.0, 0.8),
            SF_FORMAT_WAVEX | SF_FORMAT_PCM_16);
  write_s16(dir.path("b.wav"), 44100, 6, sine_s16(44100, 6, 0.2, 700.0, 0.8),
            SF_FORMAT_WAVEX | SF_FORMAT_PCM_16);
  const auto mix = [&](const char* block, const char* buffer) {
    const std::string out = dir.path(std::string("mix-") + block + "-" + buffer + ".wav");
    const Result r = amix({"mix", dir.path("a.wav"), dir.path("b.wav"), "-o", out,
                           "--limiter-block", block, "--buffer", buffer, "--volume", "-3dB,1",
                           "--fade-in", "0.05,0", "--fade-out", "0,0.15"});
    // 7.3 ms at 32000 Hz rounds to 234 frames: 9600 frames in 42 blocks.
    if (std::string(block) == "7.3") {
      EXPECT_THAT(r.out, HasSubstr(" 42 blocks, "));
    }
    return slurp(out);
  };
  const std::string reference = mix("7.3", "1024");
  for (const char* buffer : {"16", "1000", "65536"})
    EXPECT_EQ(mix("7.3", buffer), reference) << buffer;
  EXPECT_NE(mix("20", "1024"), reference);
}

// A mix prints its summary, and a line per block only with --table; -q
// leaves a success silent, short of what was asked for by name.  The
// library's own log lines show only with --verbose.
TEST_F(AmixTest, ReportsOnRequestOnly) {
  const std::string in = tone("in.wav", 8000, 1, 440.0, 0.5);
  const std::string shorter = tone("short.wav", 8000, 1, 440.0, 0.1);
  const auto lines = [](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); };
  const Result plain = amix({"mix", in, shorter, "-o", p("mix.wav")});
  EXPECT_EQ(lines(plain.out), 1) << plain.out;
  EXPECT_THAT(plain.err, HasSubstr("amix: note: "));
  EXPECT_EQ(lines(plain.err), 1) << plain.err;
  // A heading, 25 blocks of 20 ms (160 frames), the summary.
  EXPECT_EQ(lines(amix({"mix", in, shorter, "-o", p("mix.wav"), "--table"}).out), 27);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-q", "mix", in, shorter, "-o", p("mix.wav")},
        {"convert", in, p("out.flac"), "-q"},
        {"stream", in, p("out.wav"), "--quiet"}}) {
    const Result r = amix(args);
    EXPECT_EQ(r.out + r.err, "") << args[1];
  }
  EXPECT_EQ(lines(amix({"mix", in, "-o", p("mix.wav"), "-q", "-T"}).out), 26);

  const Result verbose = amix({"mix", in, in, "-o", p("mix.wav"), "--verbose"});
  // Blocks of 20 ms: 160 frames of 2 bytes at 8000 Hz mono.
  EXPECT_THAT(verbose.err, HasSubstr("I/Zelvarion: multi audio mixer created: 320"));
  EXPECT_THAT(verbose.err, HasSubstr("I/Zelvarion: multi audio mixer released !"));
}

// An output named through a symbolic link replaces the link's target (also
// one not made yet) and leaves the link; a file replaced keeps its mode.
TEST_F(AmixTest, OutputsGoThroughLinksAndKeepTheirMode) {
  const std::string in = tone("in.wav", 8000, 1, 440.0, 0.1);
  umask(022);
  ASSERT_EQ(mkdir(p("real").c_str(), 0755), 0);
  amix({"convert", in, p("real/kept.wav"), "--rate", "16000"});
  ASSERT_EQ(chmod(p("real/kept.wav").c_str(), 0600), 0);
  ASSERT_EQ(symlink("real/kept.wav", p("link.wav").c_str()), 0);
  ASSERT_EQ(symlink("real/new.wav", p("dangling.wav").c_str()), 0);
  for (const char* link : {"link.wav", "dangling.wav"}) {
    amix({"convert", in, p(link)});
    struct stat st;
    ASSERT_EQ(lstat(p(link).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
  }
  EXPECT_EQ(read_sound(p("real/kept.wav")).info.samplerate, 8000);
  const auto mode = [&](const char* name) {
    struct stat st;
    return stat(p(name).c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
  };
  EXPECT_EQ(mode("real/kept.wav"), 0600u);
  EXPECT_EQ(mode("real/new.wav"), 0644u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(p("real")), {}), 2);
}

// Every output is exactly as long as its input at the output's rate:
// n frames give floor(n x rate / input rate + 1/2), down to inputs shorter
// than the resampler's filter; the lowest and highest input rates are
// taken.  A mix places each input at its start time rounded to the nearest
// frame: 0.009 s at 48 kHz is 432 frames (431.99999999999994 in doubles).
TEST_F(AmixTest, OutputsAreExactlyAsLongAsTheirInputs) {
  const std::string five_s = tone("five.wav", 44100, 2, 440.0, 5.0);
  write_s16(dir.path("ten.wav"), 44100, 1, std::vector<int16_t>(10, 1000));
  write_s16(dir.path("one.wav"), 22050, 1, std::vector<int16_t>(1, 1000));
  const std::string low = tone("low.wav", 1000, 1, 100.0, 0.01);
  const std::string top = tone("top.wav", 768000, 1, 1000.0, 0.01);
  const std::string short48 = tone("short48.wav", 48000, 1, 1000.0, 0.05);
  struct Case {
    std::string command, in;
    const char* rate;
    int64_t frames;
    std::vector<std::string> more = {};  // further arguments
  } cases[] = {
      {"convert", five_s, "48000", 240000}, {"convert", dir.path("ten.wav"), "48000", 11},
      {"convert", dir.path("one.wav"), "48000", 2}, {"convert", five_s, "8000", 40000},
      {"stream", five_s, "48000", 240000},  {"stream", dir.path("ten.wav"), "48000", 11},
      {"stream", dir.path("one.wav"), "48000", 2},
      {"convert", low, "48000", 480},       {"stream", top, "48000", 480},
      {"mix", short48, "48000", 432 + 2400, {short48, "--at", "0,0.009"}},
      // 1.2345 s of 44100 Hz is 54441 frames, 59256 at 48000 Hz.
      {"convert", five_s, "48000", 59256, {"--start", "1", "--duration", "1.2345"}},
      {"stream", five_s, "48000", 59256 + 24000, {"-s", "1", "-d", "1.2345", "--pad", "0.5"}},
      {"convert", five_s, "8000", 4000 + 20000 + 8000, {"-s", "0:02.5", "--pad", "0.5,1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + " " + c.in + " " + c.rate);
    const std::string out = dir.path("out.wav");
    std::vector<std::string> args = {c.command, c.in};
    if (c.command == "mix") args.push_back("-o");
    args.insert(args.end(), {out, "--rate", c.rate});
    args.insert(args.end(), c.more.begin(), c.more.end());
    const Result r = run_amix(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_sound(out).frames(), c.frames);
  }
  // In a mix each input is drained at its own end: the 10-frame input placed
  // at 5 s ends the mix 11 frames later, and its frames are there.
  amix({"mix", five_s, dir.path("ten.wav"), "-o", dir.path("mix.wav"), "--rate", "48000", "--at",
        "0,5"});
  const Sound m = read_sound(dir.path("mix.wav"));
  EXPECT_EQ(m.frames(), 240000 + 11);
  EXPECT_NE(m.s16[2 * (240000 + 5)], 0);
}

TEST_F(AmixTest, StreamEqualsConvert) {
  const std::string in = tone("in.wav", 44100, 1, 1000.0, 1.5);
  amix({"convert", in, dir.path("conv.wav"), "--rate", "48000", "--layout", "stereo", "--bits",
        "16"});
  for (const char* block : {"4096", "1000", "65536"}) {
    SCOPED_TRACE(block);
    const Result r = run_amix({"stream", in, dir.path("stream.wav"), "--rate", "48000",
                               "--layout", "stereo", "--block", block});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound a = read_sound(dir.path("conv.wav"));
    const Sound b = read_sound(dir.path("stream.wav"));
    EXPECT_EQ(b.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    // Both end at the exact length (1.5 s), not with the zero padding of
    // the last block, and every frame is the same.
    EXPECT_EQ(b.frames(), 72000);
    ASSERT_EQ(b.s16.size(), a.s16.size());
    for (size_t i = 0; i < a.s16.size(); ++i) ASSERT_EQ(a.s16[i], b.s16[i]) << "sample " << i;
  }
}

// The blocking resampler takes 16-bit samples: float files are brought to
// that range on the way in, not truncated to their integer part.
TEST_F(AmixTest, StreamOfAFloatFileKeepsItsLevel) {
  const std::vector<int16_t> tone = sine_s16(48000, 2, 0.5, 1000.0, kHalf);
  std::vector<double> samples(tone.begin(), tone.end());
  for (double& v : samples) v /= 32767.0;
  write_f64(dir.path("in.wav"), 48000, 2, samples, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  amix({"stream", dir.path("in.wav"), dir.path("out.wav"), "--rate", "44100"});
  const Sound s = read_sound(dir.path("out.wav"));
  EXPECT_NEAR(measured_rms_dbfs(s, 0), kHalfRmsDb, 0.1);
  EXPECT_NEAR(measured_frequency(s, 1), 1000.0, 0.5);
}

TEST_F(AmixTest, DemoWritesItsFilesPictureAndTable) {
  const Result r = amix({"demo", dir.path("demo")});
  for (const char* f : {"tone.wav", "chord.wav", "sweep.wav", "burst.wav", "tone-48k.wav"})
    EXPECT_TRUE(std::ifstream(dir.path("demo/") + f).good()) << f;
  EXPECT_THAT(r.out, HasSubstr("speed"));
  EXPECT_TRUE(std::ifstream(dir.path("demo/mix.wav")).good());
  EXPECT_TRUE(std::ifstream(dir.path("demo/mix.png")).good());
  // The loud burst forces the master gain down.
  EXPECT_THAT(r.out, ::testing::ContainsRegex("blocks of 20 ms, [1-9][0-9]* limited"));
  const Sound burst = read_sound(dir.path("demo/burst.wav"));
  EXPECT_EQ(burst.info.channels, 6);
}

// Every failure: one line on stderr, the documented exit code, no report
// (the paths are checked before any work), and no output file or temporary
// file left behind.
TEST_F(AmixTest, BadInputFailsWithOneLineAndLeavesNoFile) {
  const std::string in = tone("in.wav", 44100, 1, 440.0, 0.1);
  std::ofstream(dir.path("garbage.wav")) << "not a sound file";
  write_s16(dir.path("seven.wav"), 8000, 7, std::vector<int16_t>(7 * 100));
  write_s16(dir.path("cut.flac"), 8000, 1, sine_s16(8000, 1, 1.0, 440.0, 0.5),
            SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  std::filesystem::resize_file(dir.path("cut.flac"), 4000);
  symlink(in.c_str(), dir.path("link.wav").c_str());
  const std::string one = p("one.wav"), top = tone("top.wav", 768000, 1, 1000.0, 0.05);
  write_s16(one, 1, 1, std::vector<int16_t>(100, 1000));
  write_s16(p("fast.wav"), 800000, 1, std::vector<int16_t>(8000, 1000));
  const std::string out = dir.path("out.wav");
  const std::string rate_of_one = "amix: cannot use '" + one +
                                  "': its header gives a sample rate of 1 Hz; amix takes 1000 to "
                                  "768000 Hz";
  const std::string too_steep = "768000 Hz mono 16-bit -> 2000 Hz mono 16-bit (the library "
                                "refuses reductions steeper than 256:1)";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{"convert", dir.path("missing.wav"), out}, 1, "cannot read '" + dir.path("missing.wav") +
                                                      "': No such file or directory"},
      {{"convert", dir.path("garbage.wav"), out}, 1, "cannot read '" + dir.path("garbage.wav")},
      {{"convert", dir.path("seven.wav"), out}, 1, "it has 7 channels and no channel map"},
      {{"info", dir.path(".")}, 1, "it is a directory"},
      {{"mix", in, "-o", dir.path("same.png"), "--type", "wav", "--plot", dir.path("same.png")},
       2, "--plot and -o name the same file"},
      {{"mix", in, "-o", out, "--plot", dir.path("mix.jpg")}, 2, "its name must end in .png"},
      {{"convert", in, in}, 1, "is the same file as input"},
      {{"convert", in, dir.path("link.wav")}, 1, "is the same file as input"},
      {{"mix", in, in, "-o", dir.path("link.wav")}, 1, "is the same file as input"},
      {{"convert", in, dir.path("out.mp3")}, 2, "unsupported file type"},
      {{"convert", in, dir.path("out.flac"), "--bits", "32"}, 1, "cannot write"},
      {{"convert", in, dir.path("nodir/out.wav")}, 1, "cannot create"},
      {{"mix", in, in, "-o", out, "--plot", dir.path("nodir/mix.png")}, 1,
       "amix: cannot create '" + dir.path("nodir/mix.png") + "'"},
      {{"convert", in, out, "--rate", "44k"}, 2, "--rate: expected a sample rate"},
      {{"convert", in, out, "--rate", "0"}, 2, "--rate: expected a sample rate"},
      {{"convert", in, out, "--layout", "6.1"}, 2, "--layout: expected mono|stereo"},
      {{"convert", in, out, "--bits", "12"}, 2, "--bits: expected 8|16|24|32|float"},
      {{"convert", in, out, "--type", "ogg"}, 2, "--type: expected wav, w64, flac"},
      {{"convert", in, "-"}, 2, "give its type with --type (wav, flac or au)"},
      {{"convert", in, dir.path("out")}, 2, "unsupported file type"},
      {{"convert", in, out, "--rate"}, 2, "option '--rate' needs a value"},
      {{"convert", in, out, "--speed", "2"}, 2, "unknown option '--speed'"},
      {{"convert", in}, 2, "missing file operand"},
      {{"convert", in, out, out}, 2, "unexpected operand"},
      {{"mix", in, in}, 2, "missing -o OUT"},
      {{"mix", in, in, "-o", out, "--volume", "1,x"}, 2, "--volume: expected"},
      {{"mix", in, in, "-o", out, "--volume", "1,-1"}, 2, "--volume: expected"},
      {{"mix", in, in, "-o", out, "--volume", "1"}, 2, "--volume: 1 volumes for 2 inputs"},
      {{"mix", in, in, "-o", out, "--volume", "1,+24.1dB"}, 2,
       "--volume: expected comma-separated factors from 0 to 16 or levels in dB up to +24 "
       "(-6dB is 0.501), got '+24.1dB'"},
      {{"convert", in, out, "--gain", "-6"}, 2,
       "--gain: expected a factor from 0 to 16 or a level in dB up to +24"},
      {{"mix", in, in, "-o", out, "--fade-out", "1"}, 2, "--fade-out: 1 durations for 2 inputs"},
      {{"convert", in, out, "--fade-in", "10:00.5"}, 2,
       "--fade-in: expected a time (seconds or [h:]mm:ss[.fff]) from 0 to 600, got '10:00.5'"},
      {{"mix", in, in, "-o", out, "--limiter-block", "4.9"}, 2,
       "--limiter-block: expected a block length from 5 to 100 ms, got '4.9'"},
      {{"mix", in, in, "-o", out, "-L", "101"}, 2, "--limiter-block: expected"},
      {{"mix", in, in, "-o", out, "--buffer", "8"}, 2, "--buffer: expected a frame count"},
      {{"mix", in, in, "-o", out, "--loudness", "5"}, 2,
       "--loudness: expected a loudness from -70 to 0 LUFS, got '5'"},
      {{"convert", in, out, "--true-peak", "-2"}, 2, "--true-peak goes with --loudness"},
      {{"mix", in, in, "-o", out, "--block", "4096"}, 2, "unknown option '--block'"},
      {{"convert", dir.path("cut.flac"), out, "--strict"}, 1,
       "cannot read '" + dir.path("cut.flac") + "': it is damaged at frame "},
      {{"demo", dir.path("nodir/demo")}, 1, "cannot create directory"},
      {{"mix", in, in, "-o", out, "--at", "0,-1"}, 2, "--at: expected comma-separated times"},
      {{"convert", in, out, "--map", "2"}, 2,
       "--map: '" + in + "' has no channel 2 (it has 1)"},
      {{"convert", in, out, "--map", "1,x"}, 2,
       "--map: expected 1 to 8 comma-separated channel numbers (1 the first, 0 silence), got 'x'"},
      {{"convert", in, out, "-m", "1,1,1,1,1,1,1"}, 2,
       "--map: 7 channels are not a layout the library knows"},
      {{"convert", in, out, "--map", "1,"}, 2, "--map: expected"},
      {{"convert", in, out, "--start", "-1"}, 2,
       "--start: expected a time (seconds or [h:]mm:ss[.fff]) from 0 to 86400, got '-1'"},
      {{"stream", in, out, "-d", "1:60"}, 2, "--duration: expected a time"},
      {{"convert", in, out, "--pad", "1,2,3"}, 2, "--pad: expected one or two times"},
      {{"convert", in, out, "--dither", "shaped"}, 2, "--dither: expected none|tpdf"},
      {{"mix", in, in, "-o", out, "--at", "0,1e9"}, 2, "from 0 to 86400"},
      {{"mix", in, in, "-o", out, "--at", "2.5"}, 2, "--at: 1 start times for 2 inputs"},
      {{"mix", "-", "-", "-o", out}, 2, "standard input ('-') can be read only once"},
      {{"stream", in, out, "--block", "0"}, 2, "--block: expected an even byte count"},
      {{"convert", one, out}, 1, rate_of_one},
      {{"stream", one, out}, 1, rate_of_one},
      {{"mix", top, one, "-o", out}, 1, rate_of_one},
      {{"convert", p("fast.wav"), out}, 1, "sample rate of 800000 Hz"},
      {{"convert", top, out, "--rate", "2000"}, 1, too_steep},
      {{"stream", top, out, "--rate", "2000"}, 1, too_steep},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"--loud", "info"}, 2, "unknown option '--loud'"},
  };
  const std::vector<std::string> before = dir.entries();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.message);
    const Result r = amix(c.args, c.status);
    EXPECT_THAT(r.err, HasSubstr(c.message));
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("amix: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(dir.entries(), before);
  }
}

// Each help ends with two or three examples, states the limits its command
// enforces, and stands word for word in the README's manual; --version
// names the tool and the library.
TEST_F(AmixTest, HelpForTheToolAndEachCommandAndVersion) {
  const std::string readme = slurp(AMIX_README);
  for (const char* command : {"", "info", "convert", "mix", "stream", "demo"}) {
    SCOPED_TRACE(command);
    const Result r = *command ? amix({command, "--help"}) : amix({"--help"});
    EXPECT_THAT(r.out, HasSubstr("Usage: amix " + std::string(command)));
    EXPECT_TRUE(r.err.empty()) << r.err;
    if (*command) {
      EXPECT_THAT(r.out, HasSubstr("\nLimits: "));
    }
    const size_t examples = r.out.rfind("\nExamples:\n");
    ASSERT_NE(examples, std::string::npos);
    int commands = 0;  // a command's continuation lines are indented further
    for (size_t at = r.out.find("\n  ", examples + 1); at != std::string::npos;
         at = r.out.find("\n  ", at + 1))
      commands += r.out[at + 3] != ' ' ? 1 : 0;
    EXPECT_GE(commands, 2);
    EXPECT_LE(commands, 3);
    EXPECT_THAT(readme, HasSubstr(r.out)) << "the README's manual differs from the help";
  }
  amix({}, 2);

  const Result version = amix({"--version"});
  EXPECT_THAT(version.out, ::testing::ContainsRegex("^amix [0-9]+\\.[0-9]+\\.[0-9]+\n"));
  EXPECT_THAT(version.out,
              ::testing::ContainsRegex("\nlibtavrin_amix [0-9]+\\.[0-9]+\\.[0-9]+ \\(/"));
  EXPECT_THAT(version.out, HasSubstr("libsndfile-"));
}

}  // namespace
}  // namespace amix_test
