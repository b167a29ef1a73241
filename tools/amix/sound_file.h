// Audio files through libsndfile, read and written in the library's sample
// formats.  File sample types map onto the library's as: 8-bit (signed or
// unsigned) -> U8, 16-bit and the 16-bit codecs -> S16, 24/32-bit -> S32,
// float, double and lossy codecs -> FLOAT.
#pragma once

#include <sndfile.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "amix/format.h"
#include "amix/output_file.h"
#include "amix/pipelines.h"

namespace amix {

class SoundReader {
 public:
  // Opens `path`; throws Error naming the file when it cannot be read or
  // libsndfile does not know its format.
  explicit SoundReader(const std::string& path);
  ~SoundReader();
  SoundReader(const SoundReader&) = delete;
  SoundReader& operator=(const SoundReader&) = delete;

  const std::string& path() const { return path_; }
  int rate() const { return info_.samplerate; }
  int channels() const { return info_.channels; }
  int64_t frames() const { return info_.frames; }
  int sf_format() const { return info_.format; }
  double seconds() const { return static_cast<double>(info_.frames) / info_.samplerate; }

  // The speaker layout from the file's channel map, else from its channel
  // count; nullptr when neither gives one the library knows.
  const Layout* layout() const { return layout_; }
  // The layout, or Error explaining why there is none.
  const Layout& require_layout() const;
  // The library sample format the file's samples map to.
  int pcm_format() const { return pcm_format_; }
  // The file's own format: rate, layout and sample format.
  StreamFormat stream_format() const;
  // "WAV (Microsoft), Signed 16 bit PCM"
  std::string describe_format() const;

  // Reads up to `frames` frames, interleaved, as `pcm_format` samples into
  // `dst`.  Returns the frames read: fewer only at the end of the file.
  int64_t read(void* dst, int64_t frames, int pcm_format);
  // Reads normalised float samples (full scale 1.0).
  int64_t read_float(float* dst, int64_t frames);

 private:
  std::string path_;
  SF_INFO info_ = {};
  SNDFILE* file_ = nullptr;
  const Layout* layout_ = nullptr;
  std::string layout_problem_;
  int pcm_format_ = 0;
  std::vector<int16_t> scratch_;
  std::vector<float> floats_;
};

class SoundWriter {
 public:
  // Container from `path`'s extension (.wav .w64 .flac .aiff .aif .caf .au);
  // WAV files with more than two channels are written as
  // WAVE_FORMAT_EXTENSIBLE with the layout's channel map.  `sf_subtype` is
  // an SF_FORMAT_PCM_* style code, or 0 to pick the one matching
  // `format.pcm_format`.  Writes to a temporary file; commit() puts it in
  // place.  Throws Error when the container cannot hold the format.
  SoundWriter(const std::string& path, const StreamFormat& format, int sf_subtype = 0);
  ~SoundWriter();
  SoundWriter(const SoundWriter&) = delete;
  SoundWriter& operator=(const SoundWriter&) = delete;

  // Writes bytes of interleaved samples in the writer's format.  A trailing
  // partial frame is held until the following bytes complete it.
  void write(const void* data, size_t bytes);
  // Finishes the file and renames it into place.  A held partial frame is
  // dropped.  Returns the frames written.
  int64_t commit();
  // commit(), and the statistics of a run that began at `start` and read
  // `frames_in` frames.
  RunStats commit(int64_t frames_in, std::chrono::steady_clock::time_point start);
  int64_t frames_written() const { return frames_; }
  const std::string& path() const { return temp_.final_path(); }

 private:
  void write_frames(const uint8_t* data, int64_t frames);

  StreamFormat format_;
  TempFile temp_;
  SNDFILE* file_ = nullptr;
  std::vector<uint8_t> partial_;  // bytes of an incomplete frame
  std::vector<int16_t> scratch_;
  int64_t frames_ = 0;
};

// The file subtype an output of library format `pcm_format` gets in the
// container of `path` (8-bit is unsigned in WAV, signed elsewhere).
int subtype_for(const std::string& path, int pcm_format);

// `sf_subtype` when the container of `path` can hold it with `channels`
// channels, else 0.
int subtype_if_storable(const std::string& path, int channels, int sf_subtype);

}  // namespace amix
