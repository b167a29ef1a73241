// Audio files through libsndfile, read and written in the library's sample
// formats (see pcm_format_of in encoding.h for how file encodings map onto
// them).  "-" names standard input or output.
#pragma once

#include <sndfile.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "amix/base/types.h"
#include "amix/io/encoding.h"
#include "amix/io/output_file.h"

namespace amix {

class BackgroundWriter;
class PipeSource;
class PipeSink;

// "'take1.wav'", or "standard input" for "-".
std::string input_name(const std::string& path);

// A text tag of a file (libsndfile's string metadata): title, artist, ...
struct Tag {
  int sf_type;       // SF_STR_*
  const char* name;  // "title", "artist", ...
  std::string value;
};
using Tags = std::vector<Tag>;

// Which part of a file a reader reads, and how it meets a damaged file.
struct ReadOptions {
  // Refuse (Error) a file that its decoder cannot read to the end, or whose
  // data ends before its header says.  Otherwise such a file reads as far
  // as it decodes, with one warning that says where it stopped.
  bool strict = false;
  // A second reading of an input already read once (--loudness measures
  // first): its damage was warned of then, and is not again.
  bool repeated = false;
  // --start and --duration: the reader gives the file's frames from
  // `start` seconds on, `duration` seconds of them (< 0: to the end), each
  // rounded to the nearest frame.
  double start = 0;
  double duration = -1;
};

class SoundReader {
 public:
  // Opens `path` ("-": standard input, once per run); throws Error naming
  // the file when it cannot be read or libsndfile does not know its format.
  // Warns (or with `strict` refuses) when the file holds less data than its
  // header gives.  What decoders print themselves goes through
  // DecoderOutput (base/messages.h).
  explicit SoundReader(const std::string& path, const ReadOptions& options = {});
  ~SoundReader();
  SoundReader(const SoundReader&) = delete;
  SoundReader& operator=(const SoundReader&) = delete;

  const std::string& path() const { return path_; }
  std::string name() const { return input_name(path_); }
  int rate() const { return info_.samplerate; }
  int channels() const { return info_.channels; }
  // The frames the reader will give as far as the header tells (those in
  // the part asked for); -1 on a pipe, whose length is not known.
  int64_t frames() const;
  // The frames read() gave so far.
  int64_t frames_read() const { return frames_read_; }
  // The file's sample encoding (an SF_FORMAT_* subtype).
  int encoding() const { return info_.format & SF_FORMAT_SUBMASK; }
  // frames() in seconds (0 when not known).
  double seconds() const;

  // The speaker layout from the file's channel map, else from its channel
  // count; nullptr when neither gives one the library knows.
  const Layout* layout() const { return layout_; }
  // The library sample format the file's samples map to.
  int pcm_format() const { return pcm_format_of(encoding()); }
  // The file's own format: rate, layout, sample format and encoding;
  // `layout` instead of the file's when given (its channels mapped).
  // Throws Error when the layout is not one the library knows, or the rate
  // is outside kMinRate..kMaxRate.
  StreamFormat stream_format(const Layout* layout = nullptr) const;
  // "WAV (Microsoft), Signed 16 bit PCM"
  std::string describe_format() const;
  // The file's text tags, in a fixed order (title, artist, album, ...).
  Tags tags() const;

  // Reads up to `frames` frames, interleaved, as `pcm_format` samples into
  // `dst`.  Returns the frames read: fewer only at the end of the file or
  // of the part asked for, or where the file is damaged (see ReadOptions).
  // Throws Error when reading fails, or for a damaged file with `strict`.
  int64_t read(void* dst, int64_t frames, int pcm_format);
  // Reads normalised float samples (full scale 1.0).
  int64_t read_float(float* dst, int64_t frames);
  // Once read() has given 0: a note when the file ended before the part
  // asked for did ("'in.wav' ends at 0:00:04.000, before --start
  // (0:00:05.000): nothing taken"), else "".
  std::string shortfall() const;

 private:
  SNDFILE* open_stdin();
  // Reads from the file itself, at position_.
  int64_t read_file(void* dst, int64_t frames, int pcm_format);
  // Moves to the first frame of the part asked for: a seek where the
  // samples are plain and the file seekable, else by decoding up to it.
  void skip_to_start();
  void find_layout();
  void warn_if_cut_short_in_header();
  // Reads through `read`, with the decoder's own output captured when it is
  // one that prints.
  template <typename Read>
  sf_count_t decode(Read read);
  // Fails on a read error; counts the frames, and warns when a file ends
  // before its header's length or where its decoder gives up.
  void check_read(int64_t wanted, int64_t got);
  // Warns "NAME FACT: KEPT" once per file, or with `strict` throws Error
  // "cannot read NAME: it FACT".
  void damaged(const std::string& fact, const std::string& kept);
  // libsndfile's reason for the last failure, without its decoration.
  std::string decoder_error() const;

  std::string path_;
  ReadOptions options_;
  SF_INFO info_ = {};
  std::unique_ptr<PipeSource> pipe_;
  SNDFILE* file_ = nullptr;
  bool length_known_ = true;
  bool chatty_ = true;  // a decoder that may print: captured while it reads
  int64_t first_ = 0;        // the part asked for: its first frame,
  int64_t limit_ = -1;       // and its frames (-1: to the end)
  bool started_ = false;     // at first_
  int64_t position_ = 0;     // in the file
  int64_t frames_read_ = 0;  // given by read()
  bool warned_ = false;
  bool ended_ = false;  // where the decoder gave up
  const Layout* layout_ = nullptr;
  std::string layout_problem_;
  std::vector<int16_t> scratch_;
  std::vector<float> floats_;
};

class SoundWriter {
 public:
  // `format` is the format of the samples given to write(); the file stores
  // them as `format.encoding` (0: the plain encoding of the sample format;
  // 8-bit in the signedness the container takes).  WAV files of more than
  // two channels are WAVE_FORMAT_EXTENSIBLE with the layout's channel map.
  // Throws Error when the container cannot hold the format or the output
  // cannot be created.
  SoundWriter(const OutputTarget& target, const StreamFormat& format);
  ~SoundWriter();
  SoundWriter(const SoundWriter&) = delete;
  SoundWriter& operator=(const SoundWriter&) = delete;

  // Stores `tags`, before any samples are written.  Returns the names of
  // those the container cannot hold (AU holds none).
  std::vector<std::string> set_tags(const Tags& tags);
  // Writes bytes of interleaved samples in the writer's format.  A trailing
  // partial frame is held until the following bytes complete it.  The
  // encoding runs on a thread of the writer's own (io/background_writer.h):
  // a failure shows in a later write() or in commit().
  void write(const void* data, size_t bytes);
  // Writes `frames` frames of digital silence (0, or 0x80 for 8-bit
  // unsigned samples).
  void write_silence(int64_t frames);
  // Finishes the file and puts it in place.  A held partial frame is
  // dropped.  Returns the frames written.
  int64_t commit();
  // commit(), and the statistics of a run that began at `start` and read
  // `frames_in` frames.
  RunStats commit(int64_t frames_in, std::chrono::steady_clock::time_point start);
  int64_t frames_written() const { return frames_; }
  const OutputTarget& target() const { return target_; }
  // The stored format: the samples' rate and layout, and the file's encoding.
  const StreamFormat& stored() const { return stored_; }

 private:
  SNDFILE* open(SF_INFO* info);
  bool store_channel_map();
  void write_frames(const uint8_t* data, int64_t frames);
  // Hands `frames` frames to libsndfile, on the encoder's thread: "" or why
  // it failed.
  std::string encode(const uint8_t* data, int64_t frames);
  // Stops the encoder's thread and fails with its reason.
  [[noreturn]] void encoder_failed();
  [[noreturn]] void fail(const std::string& why);

  OutputTarget target_;
  StreamFormat format_;
  StreamFormat stored_;
  std::unique_ptr<TempFile> temp_;
  std::unique_ptr<PipeSink> sink_;
  SNDFILE* file_ = nullptr;
  std::unique_ptr<BackgroundWriter> encoder_;
  std::vector<uint8_t> partial_;  // bytes of an incomplete frame
  std::vector<int16_t> scratch_;  // the encoder's
  int64_t frames_ = 0;
};

// Gives `writer` the tags of `reader`, with a note naming those the output's
// container cannot hold.
void carry_tags(const SoundReader& reader, SoundWriter& writer);

}  // namespace amix
