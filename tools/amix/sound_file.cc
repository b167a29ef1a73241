#include "amix/sound_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tavrin_amix/audio_resampler.h"
#include "amix/cli.h"

namespace amix {
namespace {

int pcm_format_of(int sf_format) {
  switch (sf_format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_DPCM_8:
      return PCM_FORMAT_U8;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_DWVW_24:
    case SF_FORMAT_ALAC_24:
    case SF_FORMAT_ALAC_32:
    case SF_FORMAT_NMS_ADPCM_32:
      return PCM_FORMAT_S32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
      return PCM_FORMAT_FLOAT;
    default:  // 16-bit PCM and the codecs that decode to 16 bits or less
      return PCM_FORMAT_S16;
  }
}

std::string format_info_name(int format) {
  SF_FORMAT_INFO info = {};
  info.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr)
    return "unknown";
  return info.name;
}

std::string lower_extension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

int container_for(const std::string& path, int channels) {
  const std::string ext = lower_extension(path);
  if (ext == "wav") return channels > 2 ? SF_FORMAT_WAVEX : SF_FORMAT_WAV;
  if (ext == "w64") return SF_FORMAT_W64;
  if (ext == "flac") return SF_FORMAT_FLAC;
  if (ext == "aiff" || ext == "aif") return SF_FORMAT_AIFF;
  if (ext == "caf") return SF_FORMAT_CAF;
  if (ext == "au") return SF_FORMAT_AU;
  throw UsageError("output '" + path +
                   "': unsupported file type (use .wav, .w64, .flac, .aiff, .caf or .au)");
}

// 8-bit samples travel through libsndfile's 16-bit calls: a file byte b
// reads as b << 8 (signed), which is exact both ways.
void u8_from_s16(const int16_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((in[i] >> 8) + 128);
}
void s16_from_u8(const uint8_t* in, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>((in[i] - 128) * 256);
}

}  // namespace

int subtype_for(const std::string& path, int pcm_format) {
  const int container = container_for(path, 1);
  switch (pcm_format) {
    case PCM_FORMAT_U8:
      return container == SF_FORMAT_WAV ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8;
    case PCM_FORMAT_S32: return SF_FORMAT_PCM_32;
    case PCM_FORMAT_FLOAT: return SF_FORMAT_FLOAT;
    default: return SF_FORMAT_PCM_16;
  }
}

int subtype_if_storable(const std::string& path, int channels, int sf_subtype) {
  SF_INFO probe = {};
  probe.channels = channels;
  probe.samplerate = 48000;
  probe.format = container_for(path, channels) | sf_subtype;
  return sf_format_check(&probe) ? sf_subtype : 0;
}

SoundReader::SoundReader(const std::string& path) : path_(path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw Error("cannot read '" + path + "': it is a directory");
  file_ = sf_open(path.c_str(), SFM_READ, &info_);
  if (file_ == nullptr) {
    // libsndfile's text for a missing file is only "System error"; say more.
    std::string why = sf_strerror(nullptr);
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
      std::fclose(f);
    } else {
      why = std::strerror(errno);
    }
    throw Error("cannot read '" + path + "': " + why);
  }
  pcm_format_ = pcm_format_of(info_.format);
  if (info_.samplerate <= 0) {
    sf_close(file_);
    throw Error("'" + path + "' has no valid sample rate");
  }

  std::vector<int> map(static_cast<size_t>(info_.channels));
  if (sf_command(file_, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                 static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
    layout_ = layout_for_channel_map(map);
    if (layout_ == nullptr)
      layout_problem_ = "its channels (" + describe_channel_map(map) +
                        ") are not a speaker layout the library knows";
  } else {
    layout_ = layout_for_channels(info_.channels);
    if (layout_ == nullptr)
      layout_problem_ = "it has " + std::to_string(info_.channels) +
                        " channels and no channel map (1-6 or 8 channels are understood)";
  }
}

SoundReader::~SoundReader() { sf_close(file_); }

const Layout& SoundReader::require_layout() const {
  if (layout_ == nullptr) throw Error("cannot use '" + path_ + "': " + layout_problem_);
  return *layout_;
}

StreamFormat SoundReader::stream_format() const {
  StreamFormat f;
  f.rate = rate();
  f.pcm_format = pcm_format_;
  f.layout = &require_layout();
  return f;
}

std::string SoundReader::describe_format() const {
  return format_info_name(info_.format & SF_FORMAT_TYPEMASK) + ", " +
         format_info_name(info_.format & SF_FORMAT_SUBMASK);
}

int64_t SoundReader::read(void* dst, int64_t frames, int pcm_format) {
  const size_t n = static_cast<size_t>(frames * info_.channels);
  // libsndfile hands float data to its integer calls unscaled, so float
  // files are read as float and brought to full integer range here, with
  // rounding and clipping as the resampling engine converts.
  const bool from_float = pcm_format_ == PCM_FORMAT_FLOAT && pcm_format != PCM_FORMAT_FLOAT;
  if (from_float) floats_.resize(n);
  if (pcm_format == PCM_FORMAT_U8 || pcm_format == PCM_FORMAT_S16) scratch_.resize(n);
  int16_t* s16 = pcm_format == PCM_FORMAT_S16 ? static_cast<int16_t*>(dst) : scratch_.data();
  sf_count_t got = 0;
  if (from_float) {
    got = sf_readf_float(file_, floats_.data(), frames);
  } else if (pcm_format == PCM_FORMAT_U8 || pcm_format == PCM_FORMAT_S16) {
    got = sf_readf_short(file_, s16, frames);
  } else if (pcm_format == PCM_FORMAT_S32) {
    got = sf_readf_int(file_, static_cast<int32_t*>(dst), frames);
  } else if (pcm_format == PCM_FORMAT_FLOAT) {
    got = sf_readf_float(file_, static_cast<float*>(dst), frames);
  } else {
    throw Error("internal: unknown sample format");
  }
  if (got < frames && sf_error(file_) != SF_ERR_NO_ERROR)
    throw Error("cannot read '" + path_ + "': " + sf_strerror(file_));

  const size_t count = static_cast<size_t>(got * info_.channels);
  if (from_float && pcm_format == PCM_FORMAT_S32) {
    auto* out = static_cast<int32_t*>(dst);
    for (size_t i = 0; i < count; ++i)
      out[i] = static_cast<int32_t>(
          std::clamp(std::nearbyint(floats_[i] * 2147483648.0), -2147483648.0, 2147483647.0));
  } else if (from_float) {
    for (size_t i = 0; i < count; ++i)
      s16[i] = static_cast<int16_t>(
          std::clamp(std::nearbyint(floats_[i] * 32768.0), -32768.0, 32767.0));
  }
  if (pcm_format == PCM_FORMAT_U8) u8_from_s16(s16, static_cast<uint8_t*>(dst), count);
  return got;
}

int64_t SoundReader::read_float(float* dst, int64_t frames) {
  return read(dst, frames, PCM_FORMAT_FLOAT);
}

SoundWriter::SoundWriter(const std::string& path, const StreamFormat& format, int sf_subtype)
    : format_(format), temp_(path) {
  SF_INFO info = {};
  info.samplerate = format.rate;
  info.channels = format.channels();
  info.format = container_for(path, info.channels) |
                (sf_subtype != 0 ? sf_subtype : subtype_for(path, format.pcm_format));
  if (!sf_format_check(&info))
    throw Error("cannot write " + format_info_name(info.format & SF_FORMAT_SUBMASK) +
                " samples with " + std::to_string(info.channels) + " channels to a " +
                format_info_name(info.format & SF_FORMAT_TYPEMASK) + " file ('" + path + "')");
  file_ = sf_open_fd(temp_.release_fd(), SFM_WRITE, &info, SF_TRUE);
  if (file_ == nullptr) throw Error("cannot write '" + path + "': " + sf_strerror(nullptr));
  // Float data beyond full scale is clipped, not wrapped, when stored as
  // integers.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  if (info.channels > 2) {
    std::vector<int> map = channel_map_for(*format.layout);
    const bool stored = sf_command(file_, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
    if (!stored && (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX) {
      sf_close(file_);
      file_ = nullptr;
      throw Error("cannot store the " + std::string(format.layout->name) +
                  " channel map in '" + path + "'");
    }
  }
}

SoundWriter::~SoundWriter() {
  if (file_ != nullptr) sf_close(file_);  // an unfinished file: TempFile removes it
}

void SoundWriter::write(const void* data, size_t bytes) {
  const size_t frame = format_.frame_bytes();
  const auto* in = static_cast<const uint8_t*>(data);
  if (!partial_.empty()) {
    const size_t take = std::min(bytes, frame - partial_.size());
    partial_.insert(partial_.end(), in, in + take);
    in += take;
    bytes -= take;
    if (partial_.size() < frame) return;
    write_frames(partial_.data(), 1);
    partial_.clear();
  }
  const size_t whole = bytes / frame;
  if (whole > 0) write_frames(in, static_cast<int64_t>(whole));
  partial_.assign(in + whole * frame, in + bytes);
}

void SoundWriter::write_frames(const uint8_t* data, int64_t frames) {
  sf_count_t put = 0;
  switch (format_.pcm_format) {
    case PCM_FORMAT_U8: {
      const size_t n = static_cast<size_t>(frames * format_.channels());
      scratch_.resize(n);
      s16_from_u8(data, scratch_.data(), n);
      put = sf_writef_short(file_, scratch_.data(), frames);
      break;
    }
    case PCM_FORMAT_S16:
      put = sf_writef_short(file_, reinterpret_cast<const int16_t*>(data), frames);
      break;
    case PCM_FORMAT_S32:
      put = sf_writef_int(file_, reinterpret_cast<const int32_t*>(data), frames);
      break;
    case PCM_FORMAT_FLOAT:
      put = sf_writef_float(file_, reinterpret_cast<const float*>(data), frames);
      break;
    default: throw Error("internal: unknown sample format");
  }
  if (put != frames) throw Error("cannot write '" + path() + "': " + sf_strerror(file_));
  frames_ += frames;
}

int64_t SoundWriter::commit() {
  const int rc = sf_close(file_);
  file_ = nullptr;
  if (rc != 0) throw Error("cannot write '" + path() + "': " + sf_error_number(rc));
  temp_.commit();
  return frames_;
}

RunStats SoundWriter::commit(int64_t frames_in, std::chrono::steady_clock::time_point start) {
  RunStats stats;
  stats.output = format_;
  stats.frames_in = frames_in;
  stats.frames_out = commit();
  stats.seconds_out = static_cast<double>(stats.frames_out) / format_.rate;
  stats.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return stats;
}

}  // namespace amix
