// The data every layer of amix shares: speaker layouts, PCM stream formats,
// and what the pipelines report.  No behaviour beyond names and sizes; the
// layers above include this instead of each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace amix {

// The sample rates amix converts: --rate, and the rates of its inputs.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;

// A speaker layout the library knows (the table is in io/layouts.h).
struct Layout {
  int code;            // the library's PCM_SPEAKERS_* code
  const char* name;    // as given to --layout
  int channels;
  uint32_t mask;       // WAVE_FORMAT_EXTENSIBLE channel bits, in channel order
  const char* speakers;  // e.g. "FL FR FC"
};

// Bytes of one sample of the library's interleaved PCM_FORMAT_* codes
// (U8, S16, S32, FLOAT); 0 for others.
size_t pcm_sample_bytes(int pcm_format);

// "8-bit unsigned", "16-bit", "32-bit", "float".
const char* pcm_format_name(int pcm_format);

// libsndfile's name of a major format or subtype: "WAV (Microsoft)".
std::string sf_format_name(int format);

// "8-bit unsigned", "16-bit", "24-bit", "float", "MP3", "IMA ADPCM", ...
std::string encoding_name(int sf_subtype);

// A PCM stream as the library sees it: rate, sample format and layout.
struct StreamFormat {
  int rate = 0;
  int pcm_format = 0;  // interleaved PCM_FORMAT_* code
  const Layout* layout = nullptr;
  // How a file stores the samples (an SF_FORMAT_* subtype, such as 24-bit
  // carried as S32); 0: the plain encoding of `pcm_format`.
  int encoding = 0;

  int channels() const { return layout->channels; }
  size_t frame_bytes() const { return pcm_sample_bytes(pcm_format) * layout->channels; }
  // "48000 Hz stereo 16-bit", "44100 Hz mono 24-bit"
  std::string describe() const;
};

// --loudness and --true-peak: one gain that brings an output to `lufs`,
// lowered where the output's true peak would pass `ceiling`.
struct LoudnessTarget {
  bool on = false;
  double lufs = -23.0;
  double ceiling = -1.0;  // dBTP
  bool ceiling_given = false;
};

// What --loudness did to an output.
struct Normalised {
  bool on = false;
  bool silent = false;   // nothing above the gate: no gain
  double target = 0;     // LUFS
  double gain_db = 0;
  double lufs = 0;       // reached
  double true_peak = 0;  // dBTP, after the gain
  double ceiling = 0;    // dBTP
  bool limited = false;  // the gain stopped at the ceiling, short of the target
};

// What a pipeline wrote, and how long it took.
struct RunStats {
  StreamFormat output;      // as stored: rate, layout and the file's encoding
  int64_t frames_in = 0;    // of the (longest) input
  int64_t frames_out = 0;
  double seconds_out = 0;   // audio written
  double wall_seconds = 0;  // time taken
  std::string note;         // why the output's encoding is not the input's, ...
  Normalised loudness;
  double speed() const { return wall_seconds > 0 ? seconds_out / wall_seconds : 0; }
  // Adds `text` to the note, after a "; ".
  void add_note(const std::string& text) { note += (note.empty() ? "" : "; ") + text; }
};

// One block of a mix, as the mixer's limiter saw it.
struct MixBlock {
  int64_t index;
  double start_seconds;
  double peak;   // largest magnitude of the mixed block, 1.0 = full scale
  double gain;   // the master gain the block's sums were multiplied by
  bool limited;  // the plain sum of the scaled tracks left the 16-bit range
  std::vector<int> inputs;  // the inputs (0-based) that sound in the block
};

// Where an input sits on the mix's timeline.
struct InputSpan {
  std::string path;
  double start_seconds;
  double end_seconds;
};

struct MixResult {
  RunStats stats;
  int64_t blocks = 0;
  int64_t limited_blocks = 0;
  double peak = 0;
  double lowest_gain = 1;  // of the master gain
  std::vector<InputSpan> inputs;
  std::vector<std::string> notes;  // inputs that end before the mix
};

}  // namespace amix
