// End-to-end runs of amix as it meets a user day to day: on files that sox
// and ffmpeg make, in shell pipes between them, with a reader that leaves
// early, and with inputs that are odd or broken.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/tools/amix_runner.h"

namespace amix_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class DailyTest : public ToolTest {
 protected:
  void SetUp() override {
    if (!have_sox() || !have_ffmpeg()) GTEST_SKIP() << "sox or ffmpeg is not installed";
  }
};

// Without --bits OUT keeps the input's encoding where its container holds
// it, and otherwise takes the nearest one it holds (compressed ones as
// 16-bit, dithered), said in the summary; the samples survive as far as it
// allows.
TEST_F(DailyTest, EncodingsTheContainerLacksBecomeTheNearestItHolds) {
  sh("$FFMPEG -v error -f lavfi -i sine=frequency=1000:duration=1:sample_rate=44100 speech.mp3\n"
     "$SOX -n -r 48000 -c 2 tone.ogg synth 1 sine 1000\n"
     "$SOX -n -r 8000 -c 6 -e floating-point -b 32 float.wav synth 0.5 sine 300 vol 0.7\n"
     "$SOX -D -n -r 8000 -e signed-integer -b 8 s8.aiff synth 0.5 sine 300 vol 0.7\n"
     "$SOX -D -n -r 8000 -b 8 u8.wav synth 0.5 sine 300 vol 0.7\n"
     "$SOX -D -n -r 8000 -b 32 s32.wav synth 0.5 sine 300 vol 0.7");
  const double lsb16 = 1.0 / (1 << 15), lsb24 = 1.0 / (1 << 23);
  const struct {
    const char *in, *out;
    int subtype;
    std::string summary;
    double tolerance;
  } cases[] = {
      {"speech.mp3", "speech.wav", SF_FORMAT_PCM_16,
       "44100 Hz mono 16-bit, *; the input's MP3 stored as 16-bit; TPDF dither\n", 1.5 * lsb16},
      {"tone.ogg", "tone.flac", SF_FORMAT_PCM_16,
       "48000 Hz stereo 16-bit, *; the input's Vorbis stored as 16-bit; TPDF dither\n",
       1.5 * lsb16},
      {"float.wav", "float.flac", SF_FORMAT_PCM_24,
       "5.1-back 24-bit, 0:00:00.500, *; the input's float stored as 24-bit, the nearest FLAC holds",
       1.5 * lsb24},
      {"s32.wav", "s32.flac", SF_FORMAT_PCM_24,
       "; the input's 32-bit stored as 24-bit, the nearest FLAC holds", 1.5 * lsb24},
      // 8-bit only changes signedness with the container: no note.
      {"s8.aiff", "s8.w64", SF_FORMAT_PCM_U8, "mono 8-bit unsigned, 0:00:00.500", 0},
      {"u8.wav", "u8.flac", SF_FORMAT_PCM_S8, "mono 8-bit signed, 0:00:00.500", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    const Result r = amix({"convert", p(c.in), p(c.out)});
    const std::string summary = c.summary.substr(0, c.summary.find('*'));
    EXPECT_THAT(r.out, HasSubstr(summary));
    if (c.summary.find('*') != std::string::npos) {
      EXPECT_THAT(r.out, HasSubstr(c.summary.substr(c.summary.find('*') + 1)));
    }
    if (c.tolerance == 0) {
      EXPECT_THAT(r.out, Not(HasSubstr("stored as")));
    }
    const Sound in = read_sound(p(c.in)), out = read_sound(p(c.out));
    EXPECT_EQ(out.info.format & SF_FORMAT_SUBMASK, c.subtype);
    EXPECT_EQ(out.info.samplerate, in.info.samplerate);
    EXPECT_EQ(out.info.channels, in.info.channels);
    ASSERT_EQ(out.f64.size(), in.f64.size());
    // Decoded Vorbis crests a little over full scale, and is clipped there.
    for (size_t i = 0; i < in.f64.size(); ++i)
      ASSERT_NEAR(out.f64[i], std::clamp(in.f64[i], -1.0, 1.0), c.tolerance) << "sample " << i;
  }
}

TEST_F(DailyTest, PipesBothWays) {
  sh("$SOX -D -n -r 44100 -c 2 -b 16 in.wav synth 2 sine 440 sine 660 vol 0.5");
  amix({"convert", p("in.wav"), p("file.wav"), "--rate", "48000"});
  const Sound expected = read_sound(p("file.wav"));

  // ffmpeg's WAV on a pipe (sizes unknown) in, WAV on a pipe out into
  // ffmpeg; the report goes to stderr, away from the audio.
  const Result piped = sh("$FFMPEG -v error -i in.wav -f wav - |"
                          " $AMIX convert - - --type wav --rate 48000 |"
                          " $FFMPEG -v error -f wav -i - piped.flac");
  EXPECT_THAT(piped.err, HasSubstr("standard output: " + std::to_string(expected.frames()) +
                                   " frames, 48000 Hz stereo 16-bit"));
  EXPECT_EQ(read_sound(p("piped.flac")).s16, expected.s16);

  // FLAC on standard input, which libsndfile cannot read from a plain pipe.
  sh("$FFMPEG -v error -i in.wav -f flac - | $AMIX convert - from-flac.wav --rate 48000");
  EXPECT_EQ(read_sound(p("from-flac.wav")).s16, expected.s16);

  // Standard input from a file, which libsndfile can seek in.
  RunOptions from_file;
  from_file.stdin_path = p("in.wav");
  amix({"convert", "-", p("stdin.wav"), "--rate", "48000"}, 0, from_file);
  EXPECT_EQ(read_sound(p("stdin.wav")).s16, expected.s16);
  EXPECT_THAT(amix({"info", "-"}, 0, from_file).out, HasSubstr("standard input\n"));

  // Standard output into a file: any type, with a complete header.
  sh("$AMIX convert in.wav - --type aiff --rate 48000 >out.aiff");
  EXPECT_EQ(read_sound(p("out.aiff")).s16, expected.s16);

  // Each type that streams, decoded by ffmpeg and by amix itself from a
  // pipe, where the header's sizes are unknown.
  for (const std::string type : {"wav", "flac", "au"}) {
    SCOPED_TRACE(type);
    sh("$AMIX convert in.wav - --type " + type + " --rate 48000 | tee piped." + type +
       " | $FFMPEG -v error -f " + type + " -i - -y decoded.wav");
    EXPECT_EQ(read_sound(p("decoded.wav")).s16, expected.s16);
    sh("cat piped." + type + " | $AMIX convert - back.wav");
    EXPECT_EQ(read_sound(p("back.wav")).s16, expected.s16);
  }
  // An AU data size of 0 on a pipe (as libsndfile writes it there) means
  // unknown too: 48000 Hz, 2 channels of 16-bit, read to the end.
  sh("{ printf '.snd\\0\\0\\0\\30\\0\\0\\0\\0\\0\\0\\0\\3\\0\\0\\273\\200\\0\\0\\0\\2';"
     " tail -c +25 piped.au; } | $AMIX convert - zero.wav");
  EXPECT_EQ(read_sound(p("zero.wav")).s16, expected.s16);

  // A mix streamed to a pipe and one written to a file are the same.
  amix({"mix", p("in.wav"), p("in.wav"), "-o", p("mix.wav")});
  const Result mixed = sh("$AMIX mix in.wav in.wav -o - --type wav | cat >mix-piped.wav");
  EXPECT_THAT(mixed.err, HasSubstr("standard output: "));
  EXPECT_EQ(read_sound(p("mix-piped.wav")).s16, read_sound(p("mix.wav")).s16);
}

// Samples reduced to 16 bits or fewer are dithered: a tone below one LSB
// (-100 dBFS at 16 bits, -50 dBFS at 8) survives at its level, where plain
// rounding leaves silence; the same input gives the same bytes on every
// run.  16-bit written as 16-bit is not a reduction: with --quality default
// its bytes stay those of ffmpeg's -ar.
TEST_F(DailyTest, ReductionsAreDitheredAndSixteenBitKeepsItsBytes) {
  sh("$SOX -n -r 48000 -e floating-point -b 32 float.wav synth 1 sine 1000 vol -100dB\n"
     "$SOX -D -n -r 48000 -b 24 s24.wav synth 1 sine 1000 vol -100dB\n"
     "$SOX -D -n -r 48000 -b 16 s16.wav synth 1 sine 1000 vol -50dB\n"
     "$SOX -D -n -r 44100 -c 2 -b 16 in16.wav synth 1 sine 440 sine 660 vol 0.5\n"
     "$FFMPEG -v error -i in16.wav -ar 48000 -f s16le ffmpeg.raw");
  const struct {
    std::vector<std::string> args;
    double level;  // of the 1000 Hz tone in dBFS
    bool dithered;
  } cases[] = {
      {{"convert", "float.wav", "out.wav", "--bits", "16"}, -100, true},
      {{"convert", "float.wav", "out.wav", "--bits", "16", "--dither", "none"}, -100, false},
      {{"convert", "s24.wav", "out.wav", "--bits", "16", "--rate", "44100"}, -100, true},
      {{"stream", "float.wav", "out.wav"}, -100, true},
      {{"stream", "s24.wav", "out.wav", "--dither", "none"}, -100, false},
      {{"convert", "s16.wav", "out.wav", "--bits", "8"}, -50, true},
      {{"convert", "s16.wav", "out.wav", "--bits", "8", "--dither", "none"}, -50, false},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    for (size_t i = 1; i < 3; ++i) args[i] = p(args[i]);
    const Result r = amix(args);
    SCOPED_TRACE(r.out);
    const Sound out = read_sound(p("out.wav"));
    // Plain rounding gives silence; truncation a square wave, its third
    // harmonic a third of its fundamental.
    const bool silent = std::all_of(out.f64.begin(), out.f64.end(), [](double v) { return v == 0; });
    const double third = tone_dbfs(out, 0, 3000);
    if (c.dithered) {
      EXPECT_NEAR(tone_dbfs(out, 0, 1000), c.level, 0.5);
      EXPECT_LT(third, c.level - 20);
      EXPECT_THAT(r.out, HasSubstr("; TPDF dither"));
    } else {
      EXPECT_TRUE(silent || third > c.level - 20) << third;
      EXPECT_THAT(r.out, Not(HasSubstr("dither")));
    }
  }
  amix({"convert", p("float.wav"), p("again.wav"), "--bits", "16"});
  amix({"convert", p("float.wav"), p("once.wav"), "--bits", "16"});
  EXPECT_EQ(slurp(p("again.wav")), slurp(p("once.wav")));

  const Result r = amix({"convert", p("in16.wav"), p("out.wav"), "--rate", "48000", "--quality",
                         "default"});
  EXPECT_THAT(r.out, Not(HasSubstr("dither")));
  EXPECT_THAT(r.out, HasSubstr("; resampled from 44100 Hz at default quality (swr)\n"));
  const std::vector<int16_t> ours = read_sound(p("out.wav")).s16;
  const std::string theirs = slurp(p("ffmpeg.raw"));
  ASSERT_EQ(theirs.size(), ours.size() * 2);
  // Over all but the last frames, where the two end their streams apart.
  EXPECT_EQ(theirs.compare(0, theirs.size() - 256, reinterpret_cast<const char*>(ours.data()),
                           theirs.size() - 256),
            0);
}

// --start and --duration cut IN at its nearest frames, --pad adds silence
// at OUT's: the same from a file (which seeks), a FLAC and a pipe (which
// are decoded up to the start), and through stream; a part past IN's end
// stops there, with a note.  IN: 4 s at 8000 Hz whose frame i holds i - 16000.
TEST_F(DailyTest, TrimAndPadAreSampleExact) {
  std::vector<int16_t> ramp(32000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i - 16000);
  write_s16(p("ramp.wav"), 8000, 1, ramp);
  sh("$SOX ramp.wav ramp.flac\n"
     "$SOX ramp.wav sox.wav trim 1.5 0.25 pad 0.01 0.02");
  const struct {
    std::vector<std::string> options;
    int64_t before, first, frames, after;
    std::string note = "";
  } cases[] = {
      {{"--start", "1.5", "--duration", "0.25", "--pad", "0.01,0.02"}, 80, 12000, 2000, 160},
      {{"-s", "0:00:01.5", "-d", "00:00.25", "--pad", "0:00.01,0.02"}, 80, 12000, 2000, 160},
      {{"-s", "0.00018"}, 0, 1, 31999, 0},  // frame 1.44
      {{"-s", "0.00019", "--pad", "0.1"}, 0, 2, 31998, 800},  // frame 1.52
      {{"-s", "3", "-d", "5"}, 0, 24000, 8000, 0,
       "ends at 0:00:04.000, before the end of --duration (0:00:08.000): 0:00:01.000 taken"},
      {{"-s", "5", "--pad", "0,0.001"}, 0, 0, 0, 8,
       "ends at 0:00:04.000, before --start (0:00:05.000): nothing taken"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.options));
    std::vector<int16_t> expected(static_cast<size_t>(c.before), 0);
    expected.insert(expected.end(), ramp.begin() + c.first, ramp.begin() + c.first + c.frames);
    expected.resize(expected.size() + static_cast<size_t>(c.after), 0);
    if (&c == &cases[0]) {
      EXPECT_EQ(read_sound(p("sox.wav")).s16, expected);  // sox's trim and pad
    }
    std::string options;
    for (const std::string& o : c.options) options += " " + o;
    for (const std::string command :
         {"$AMIX convert ramp.wav out.wav", "$AMIX convert ramp.flac out.wav",
          "cat ramp.wav | $AMIX convert - out.wav", "$AMIX stream ramp.wav out.wav"}) {
      SCOPED_TRACE(command);
      const Result r = sh(command + options);
      EXPECT_EQ(read_sound(p("out.wav")).s16, expected);
      if (!c.note.empty()) {
        EXPECT_THAT(r.err, HasSubstr("amix: note: "));
        EXPECT_THAT(r.err, HasSubstr(c.note));
      }
    }
  }
}

// Only the user's interrupt abandons an output; a reader that leaves early
// costs the report, not the file.
TEST_F(DailyTest, AClosedPipeKeepsTheFinishedOutput) {
  sh("$SOX -D -n -r 8000 -b 16 a.wav synth 8 sine 440 vol 0.4\n"
     "$SOX -D -n -r 8000 -b 16 b.wav synth 8 sine 660 vol 0.4");
  // 1600 rows of table: more than a pipe buffers while head leaves.
  const Result head = sh("{ $AMIX mix a.wav b.wav -o out.wav --table -L 5; echo $? >status; }"
                         " | head -3");
  EXPECT_EQ(std::count(head.out.begin(), head.out.end(), '\n'), 3);
  EXPECT_EQ(slurp(p("status")), "0\n");
  EXPECT_EQ(read_sound(p("out.wav")).frames(), 64000);

  RunOptions closed;
  closed.stdout_closed = true;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"convert", p("a.wav"), p("c.wav"), "--rate", "44100"},
        {"stream", p("a.wav"), p("s.wav")},
        {"info", p("a.wav")}}) {
    SCOPED_TRACE(args[0]);
    EXPECT_EQ(amix(args, 0, closed).err, "");
  }
  EXPECT_EQ(read_sound(p("c.wav")).info.samplerate, 44100);
  EXPECT_EQ(read_sound(p("s.wav")).frames(), 64000);

  // Audio for a reader that has gone, or that a full disk cannot take, is
  // a failure (found by the encoder's thread, reported once).
  const Result audio = amix({"convert", p("a.wav"), "-", "--type", "wav"}, 1, closed);
  EXPECT_THAT(audio.err, HasSubstr("amix: cannot write standard output: Broken pipe"));
  EXPECT_EQ(sh("$AMIX mix a.wav b.wav -o - --type flac >/dev/full", 1).err,
            "amix: cannot write standard output: No space left on device\n");
}

// Files cut short or damaged are read as far as they decode, with one
// warning that says where (as far as ffmpeg decodes a FLAC cut short);
// --strict refuses them.  The decoders' own messages show only with -v, as
// amix's lines.
TEST_F(DailyTest, DamagedInputsKeepWhatDecodes) {
  sh("$SOX -D -n -r 8000 -b 16 full.wav synth 1 sine 300 vol 0.5\n"
     "head -c 8044 full.wav >cut.wav\n"
     "$FFMPEG -v error -f lavfi -i sine=duration=8:sample_rate=48000 full.mp3\n"
     "head -c 50000 full.mp3 >cut.mp3\n"
     "{ head -c 60000 full.mp3; head -c 3000 /dev/zero; tail -c +63001 full.mp3; } >hole.mp3\n"
     "$SOX -D -n -r 44100 -c 2 -b 16 full.flac synth 4 sine 440 vol 0.5\n"
     "head -c 20000 full.flac >cut.flac\n"
     "{ head -c 25000 full.flac; head -c 3000 /dev/zero | tr '\\0' U; tail -c +28001 full.flac; }"
     " >hole.flac");
  const std::string at = "is damaged at frame [0-9]+ \\([0-9]:[0-9]{2}:[0-9]{2}\\.[0-9]{3}; ";
  const std::string lost_sync = at + "flac decoder lost sync\\): kept what decoded before it";
  const int64_t ffmpeg_frames =
      std::atoll(sh("$FFMPEG -v quiet -i cut.flac -f s16le - | wc -c").out.c_str()) / 4;
  const struct {
    const char* in;
    std::string warning;
    int64_t frames;  // 0: some
  } cases[] = {
      {"cut.wav", "ends before its header says \\(8000 of 16000 bytes of data\\): it is cut short",
       4000},
      {"cut.mp3", "ends before its header says \\([0-9]+ of [0-9]+ frames\\): it is cut short", 0},
      {"hole.mp3", at + "[^)]+\\): kept what decoded before it", 0},
      {"cut.flac", lost_sync, ffmpeg_frames},
      // libFLAC may find its way past a hole; the frames it skips are missing.
      {"hole.flac", "(" + lost_sync + "|ends before its header says \\([0-9]+ of 176400 frames\\): it is "
                    "cut short)",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    const Result r = amix({"convert", p(c.in), p("out.wav")});
    EXPECT_THAT(r.err, ::testing::ContainsRegex("^amix: warning: '" + p(c.in) + "' " + c.warning));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    const int64_t frames = read_sound(p("out.wav")).frames();
    if (c.frames != 0) {
      EXPECT_EQ(frames, c.frames);
    }
    EXPECT_GT(frames, 0);
    const Result strict = amix({"convert", p(c.in), p("strict.wav"), "--strict"}, 1);
    EXPECT_THAT(strict.err, HasSubstr("amix: cannot read '" + p(c.in) + "': it "));
  }

  const Result verbose = amix({"convert", p("hole.mp3"), p("out.wav"), "-v"});
  EXPECT_THAT(verbose.err, HasSubstr("\namix: decoder: Note: "));
  std::istringstream lines(verbose.err);
  for (std::string line; std::getline(lines, line);) EXPECT_EQ(line.rfind("amix: ", 0), 0u) << line;

  // Whole files, and those that streamed with their lengths unknown, warn of
  // nothing.
  sh("$SOX -D -n -r 8000 -b 16 -t wav - synth 1 sine 300 | cat >streamed.wav\n"
     "$AMIX convert full.wav - --type flac | cat >streamed.flac");
  for (const char* whole : {"full.wav", "full.mp3", "streamed.wav", "streamed.flac"})
    EXPECT_EQ(amix({"info", p(whole)}).err, "") << whole;
}

// An input of no frames gives an output of no frames that opens, in every
// type; a FLAC (whose header libsndfile writes only with the first samples)
// also for ffmpeg, from a file and from a pipe.
TEST_F(DailyTest, EmptyInputsGiveEmptyOutputsThatOpen) {
  write_s16(p("empty.wav"), 8000, 1, {});
  for (const std::string type : {"wav", "w64", "flac", "aiff", "caf", "au"}) {
    SCOPED_TRACE(type);
    amix({"convert", p("empty.wav"), p("out." + type)});
    EXPECT_THAT(amix({"info", p("out." + type)}).out, HasSubstr("  frames    0\n"));
  }
  EXPECT_EQ(sh("$FFMPEG -v error -i out.flac -f s16le - | wc -c\n"
               "$AMIX convert empty.wav - --type flac | $FFMPEG -v error -f flac -i - -f s16le - |"
               " wc -c")
                .out,
            "0\n0\n");
}

// Text tags go from the input to the output where its container holds
// them, and a note names those it cannot.
TEST_F(DailyTest, TagsTravelToTheOutput) {
  sh("$SOX -D -n -r 8000 -b 16 plain.wav synth 0.1 sine 300\n"
     "$FFMPEG -v error -i plain.wav -metadata title='A Title' -metadata artist='Some One' "
     "tagged.wav");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"convert", p("tagged.wav"), p("out.flac")},
        {"convert", p("tagged.wav"), p("out.caf")},
        {"stream", p("tagged.wav"), p("out.wav")}}) {
    SCOPED_TRACE(args[2]);
    amix(args);
    const Result tags = sh("$FFMPEG -v error -i '" + args[2] + "' -f ffmetadata -");
    EXPECT_THAT(tags.out, HasSubstr("\ntitle=A Title\n"));
    EXPECT_THAT(tags.out, HasSubstr("\nartist=Some One\n"));
  }
  EXPECT_THAT(amix({"convert", p("tagged.wav"), p("out.au")}).err,
              HasSubstr("amix: note: '" + p("out.au") + "' cannot hold the tags of '" +
                        p("tagged.wav") + "' (title, artist): left out\n"));
}

}  // namespace
}  // namespace amix_test
