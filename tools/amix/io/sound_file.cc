#include "amix/io/sound_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/base/messages.h"
#include "amix/io/background_writer.h"
#include "amix/io/layouts.h"
#include "amix/io/pipe_io.h"

namespace amix {
namespace {

// 8-bit samples travel through libsndfile's 16-bit calls: a file byte b
// reads as b << 8 (signed), which is exact both ways.
void u8_from_s16(const int16_t* in, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((in[i] >> 8) + 128);
}
void s16_from_u8(const uint8_t* in, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>((in[i] - 128) * 256);
}

// A float sample at integer full scale `scale`, rounded and clipped as the
// resampling engine converts; NaN becomes silence.
double to_integer_range(float v, double scale) {
  if (std::isnan(v)) return 0.0;
  return std::clamp(std::nearbyint(v * scale), -scale, scale - 1.0);
}

// The byte counts of a data chunk that libsndfile found shorter than its
// header gives: its log then has a line such as "data : 16000 (should be
// 8000)" (WAV, W64), "SSND : ..." (AIFF) or "Data Size : ..." (AU).
bool header_claims_more(const std::string& log, long long* claimed, long long* found) {
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    const std::string l = line.substr(start);
    if (l.rfind("data :", 0) != 0 && l.rfind("SSND :", 0) != 0 && l.rfind("Data Size :", 0) != 0)
      continue;
    const size_t colon = l.find(':');
    if (std::sscanf(l.c_str() + colon + 1, " %lld (should be %lld)", claimed, found) == 2)
      return true;
  }
  return false;
}

// Sizes that writers put in a header when they stream and do not know the
// length (0xFFFFFFFF; sox writes 0x7FFFF000) claim nothing.
constexpr long long kStreamedSize = 0x7FFFF000;

const Tag kTagNames[] = {
    {SF_STR_TITLE, "title", ""},         {SF_STR_ARTIST, "artist", ""},
    {SF_STR_ALBUM, "album", ""},         {SF_STR_TRACKNUMBER, "track", ""},
    {SF_STR_DATE, "date", ""},           {SF_STR_GENRE, "genre", ""},
    {SF_STR_COMMENT, "comment", ""},     {SF_STR_COPYRIGHT, "copyright", ""},
    {SF_STR_LICENSE, "license", ""},     {SF_STR_SOFTWARE, "software", ""},
};

}  // namespace

std::string input_name(const std::string& path) {
  return path == "-" ? "standard input" : "'" + path + "'";
}

SoundReader::SoundReader(const std::string& path, const ReadOptions& options)
    : path_(path), options_(options) {
  struct stat st;
  if (path != "-" && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw Error("cannot read " + name() + ": it is a directory");
  {
    const DecoderOutput decoder;
    file_ = path == "-" ? open_stdin() : sf_open(path.c_str(), SFM_READ, &info_);
  }
  if (file_ == nullptr) {
    // libsndfile's text for a missing file is only "System error"; say more.
    std::string why = sf_strerror(nullptr);
    if (path != "-" && access(path.c_str(), R_OK) != 0) why = std::strerror(errno);
    throw Error("cannot read " + name() + ": " + why);
  }
  if (info_.samplerate <= 0) {
    sf_close(file_);
    throw Error(name() + " has no valid sample rate");
  }
  // A stream whose writer did not know its length (a FLAC with no total)
  // reads as the largest count.
  if (info_.frames == SF_COUNT_MAX) length_known_ = false;
  first_ = std::llround(options.start * info_.samplerate);
  if (options.duration >= 0) limit_ = std::llround(options.duration * info_.samplerate);
  // libmpg123 prints its notes while it decodes; the other decoders stay
  // silent, and their reads go without the capture's three system calls.
  chatty_ = (info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
  find_layout();
  warn_if_cut_short_in_header();
}

SNDFILE* SoundReader::open_stdin() {
  if (seekable_from_start(STDIN_FILENO) && !stdin_is_pipe_copy())
    return sf_open_fd(STDIN_FILENO, SFM_READ, &info_, SF_FALSE);
  length_known_ = false;
  pipe_ = std::make_unique<PipeSource>(STDIN_FILENO);
  return pipe_->open(&info_);
}

void SoundReader::find_layout() {
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

void SoundReader::warn_if_cut_short_in_header() {
  std::vector<char> log(16384);
  sf_command(file_, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  long long claimed = 0, found = 0;
  if (!header_claims_more(log.data(), &claimed, &found) || found >= claimed ||
      claimed >= kStreamedSize)
    return;
  damaged("ends before its header says (" + std::to_string(found) + " of " +
              std::to_string(claimed) + " bytes of data)",
          "it is cut short");
}

void SoundReader::damaged(const std::string& fact, const std::string& kept) {
  if (options_.strict) {
    sf_close(file_);  // before the destructor, which a constructor's throw skips
    file_ = nullptr;
    throw Error("cannot read " + name() + ": it " + fact);
  }
  if (!warned_ && !options_.repeated) warn(name() + " " + fact + ": " + kept);
  warned_ = true;
}

SoundReader::~SoundReader() {
  if (file_ == nullptr) return;
  const DecoderOutput decoder;
  sf_close(file_);
}

template <typename Read>
sf_count_t SoundReader::decode(Read read) {
  if (ended_) return 0;
  if (!chatty_) return read();
  const DecoderOutput decoder;
  return read();
}

int64_t SoundReader::frames() const {
  if (!length_known_) return -1;
  const int64_t rest = std::max<int64_t>(0, info_.frames - first_);
  return limit_ >= 0 ? std::min(rest, limit_) : rest;
}

double SoundReader::seconds() const {
  return frames() > 0 ? static_cast<double>(frames()) / rate() : 0.0;
}

StreamFormat SoundReader::stream_format(const Layout* layout) const {
  if (layout == nullptr) layout = layout_;
  if (layout == nullptr) throw Error("cannot use " + name() + ": " + layout_problem_);
  if (rate() < kMinRate || rate() > kMaxRate)
    throw Error("cannot use " + name() + ": its header gives a sample rate of " +
                std::to_string(rate()) + " Hz; amix takes " + std::to_string(kMinRate) +
                " to " + std::to_string(kMaxRate) + " Hz");
  StreamFormat f;
  f.rate = rate();
  f.pcm_format = pcm_format();
  f.layout = layout;
  f.encoding = encoding();
  return f;
}

std::string SoundReader::describe_format() const {
  return sf_format_name(info_.format & SF_FORMAT_TYPEMASK) + ", " + sf_format_name(encoding());
}

Tags SoundReader::tags() const {
  Tags tags;
  for (const Tag& t : kTagNames) {
    const char* value = sf_get_string(file_, t.sf_type);
    if (value != nullptr && *value != '\0') tags.push_back({t.sf_type, t.name, value});
  }
  return tags;
}

int64_t SoundReader::read(void* dst, int64_t frames, int pcm_format) {
  if (!started_) skip_to_start();
  if (limit_ >= 0) frames = std::min(frames, limit_ - frames_read_);
  if (frames <= 0) return 0;
  const int64_t got = read_file(dst, frames, pcm_format);
  frames_read_ += got;
  return got;
}

void SoundReader::skip_to_start() {
  started_ = true;
  if (first_ == 0) return;
  // Plain samples sit at a fixed place in the file: the seek is exact.
  if (pipe_ == nullptr && length_known_ && is_plain(encoding()) && first_ <= info_.frames &&
      sf_seek(file_, first_, SEEK_SET) == first_) {
    position_ = first_;
    return;
  }
  std::vector<float> skipped(static_cast<size_t>(4096 * info_.channels));
  for (int64_t left = first_ - position_; left > 0; left = first_ - position_)
    if (read_file(skipped.data(), std::min<int64_t>(4096, left), PCM_FORMAT_FLOAT) == 0) return;
}

std::string SoundReader::shortfall() const {
  const double end = static_cast<double>(position_) / rate();
  if (position_ < first_)
    return name() + " ends at " + format_clock_time(end) + ", before --start (" +
           format_clock_time(static_cast<double>(first_) / rate()) + "): nothing taken";
  if (limit_ >= 0 && frames_read_ < limit_)
    return name() + " ends at " + format_clock_time(end) + ", before the end of --duration (" +
           format_clock_time(static_cast<double>(first_ + limit_) / rate()) + "): " +
           format_clock_time(static_cast<double>(frames_read_) / rate()) + " taken";
  return "";
}

int64_t SoundReader::read_file(void* dst, int64_t frames, int pcm_format) {
  const size_t n = static_cast<size_t>(frames * info_.channels);
  // libsndfile hands float data to its integer calls unscaled, so float
  // files are read as float and brought to full integer range here.
  const bool from_float =
      pcm_format_of(encoding()) == PCM_FORMAT_FLOAT && pcm_format != PCM_FORMAT_FLOAT;
  const bool narrow = pcm_format == PCM_FORMAT_U8 || pcm_format == PCM_FORMAT_S16;
  if (from_float) floats_.resize(n);
  if (narrow) scratch_.resize(n);
  int16_t* s16 = pcm_format == PCM_FORMAT_S16 ? static_cast<int16_t*>(dst) : scratch_.data();
  sf_count_t got = 0;
  if (from_float) {
    got = decode([&] { return sf_readf_float(file_, floats_.data(), frames); });
  } else if (narrow) {
    got = decode([&] { return sf_readf_short(file_, s16, frames); });
  } else if (pcm_format == PCM_FORMAT_S32) {
    got = decode([&] { return sf_readf_int(file_, static_cast<int32_t*>(dst), frames); });
  } else if (pcm_format == PCM_FORMAT_FLOAT) {
    got = decode([&] { return sf_readf_float(file_, static_cast<float*>(dst), frames); });
  } else {
    throw Error("internal: unknown sample format");
  }
  check_read(frames, got);

  const size_t count = static_cast<size_t>(got * info_.channels);
  if (from_float && pcm_format == PCM_FORMAT_S32) {
    auto* out = static_cast<int32_t*>(dst);
    for (size_t i = 0; i < count; ++i)
      out[i] = static_cast<int32_t>(to_integer_range(floats_[i], 2147483648.0));
  } else if (from_float) {
    for (size_t i = 0; i < count; ++i)
      s16[i] = static_cast<int16_t>(to_integer_range(floats_[i], 32768.0));
  }
  if (pcm_format == PCM_FORMAT_U8) u8_from_s16(s16, static_cast<uint8_t*>(dst), count);
  return got;
}

void SoundReader::check_read(int64_t wanted, int64_t got) {
  if (got < wanted && pipe_ != nullptr && pipe_->error() != 0)
    throw Error("cannot read " + name() + ": " + std::strerror(pipe_->error()));
  position_ += got;
  if (got == wanted || ended_) return;
  if (sf_error(file_) == SF_ERR_SYSTEM)
    throw Error("cannot read " + name() + ": " + sf_strerror(file_));
  if (sf_error(file_) != SF_ERR_NO_ERROR) {
    // The decoder gave up (libsndfile's FLAC and MP3 cannot go on after
    // lost sync): what it gave so far is the file.
    ended_ = true;
    damaged("is damaged at frame " + std::to_string(position_) + " (" +
                format_clock_time(static_cast<double>(position_) / rate()) + "; " +
                decoder_error() + ")",
            "kept what decoded before it");
    return;
  }
  if (!length_known_ || position_ >= info_.frames) return;
  damaged("ends before its header says (" + std::to_string(position_) + " of " +
              std::to_string(info_.frames) + " frames)",
          "it is cut short");
}

std::string SoundReader::decoder_error() const {
  // "Error : flac decoder lost sync." reads as "flac decoder lost sync".
  std::string why = sf_strerror(file_);
  if (why.rfind("Error : ", 0) == 0) why.erase(0, 8);
  while (!why.empty() && (why.back() == '.' || why.back() == ' ')) why.pop_back();
  return why;
}

int64_t SoundReader::read_float(float* dst, int64_t frames) {
  return read(dst, frames, PCM_FORMAT_FLOAT);
}

SoundWriter::SoundWriter(const OutputTarget& target, const StreamFormat& format)
    : target_(target), format_(format), stored_(format) {
  const int channels = format.channels();
  const int encoding = format.encoding != 0 ? format.encoding : plain_encoding(format.pcm_format);
  stored_.encoding = chosen_encoding(*target.container, channels, encoding).sf_subtype;
  SF_INFO info = {};
  info.samplerate = format.rate;
  info.channels = channels;
  info.format = sf_major_for(*target.container, channels) | stored_.encoding;
  file_ = open(&info);
  if (file_ == nullptr) throw Error("cannot write " + target.name() + ": " + sf_strerror(nullptr));
  // Float data beyond full scale is clipped, not wrapped, when stored as
  // integers.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  if (channels > 2 && !store_channel_map()) {
    sf_close(file_);
    file_ = nullptr;
    throw Error("cannot store the " + std::string(format.layout->name) + " channel map in " +
                target.name());
  }
  encoder_ = std::make_unique<BackgroundWriter>(
      [this](const uint8_t* data, int64_t frames) { return encode(data, frames); },
      format.frame_bytes());
}

SNDFILE* SoundWriter::open(SF_INFO* info) {
  if (!target_.is_stdout()) {
    temp_ = std::make_unique<TempFile>(target_.path);
    return sf_open_fd(temp_->release_fd(), SFM_WRITE, info, SF_TRUE);
  }
  if (seekable_from_start(STDOUT_FILENO))
    return sf_open_fd(STDOUT_FILENO, SFM_WRITE, info, SF_FALSE);
  sink_ = std::make_unique<PipeSink>(STDOUT_FILENO);
  SNDFILE* file = sink_->open(info);
  // A peak chunk is written before the data; on a pipe it would stay empty.
  if (file != nullptr) sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  return file;
}

bool SoundWriter::store_channel_map() {
  std::vector<int> map = channel_map_for(*format_.layout);
  const bool stored = sf_command(file_, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                                 static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
  // Only WAV must carry it; other containers keep what they can.
  return stored || target_.container->sf_major != SF_FORMAT_WAV;
}

SoundWriter::~SoundWriter() {
  encoder_.reset();  // first: its thread may be in libsndfile
  if (file_ != nullptr) sf_close(file_);  // an unfinished file: TempFile removes it
}

std::vector<std::string> SoundWriter::set_tags(const Tags& tags) {
  std::vector<std::string> refused;
  for (const Tag& t : tags) {
    // The software that wrote the file is libsndfile now, as it says itself.
    if (t.sf_type == SF_STR_SOFTWARE) continue;
    if (sf_set_string(file_, t.sf_type, t.value.c_str()) != 0) refused.push_back(t.name);
  }
  return refused;
}

void carry_tags(const SoundReader& reader, SoundWriter& writer) {
  const std::vector<std::string> refused = writer.set_tags(reader.tags());
  if (refused.empty()) return;
  std::string list;
  for (const std::string& name : refused) list += (list.empty() ? "" : ", ") + name;
  note(writer.target().name() + " cannot hold the tags of " + reader.name() + " (" + list +
       "): left out");
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

void SoundWriter::write_silence(int64_t frames) {
  const int64_t chunk = std::min<int64_t>(frames, 4096);
  const std::vector<uint8_t> silence(static_cast<size_t>(chunk) * format_.frame_bytes(),
                                     format_.pcm_format == PCM_FORMAT_U8 ? 0x80 : 0);
  for (int64_t left = frames; left > 0; left -= chunk)
    write(silence.data(), static_cast<size_t>(std::min(left, chunk)) * format_.frame_bytes());
}

void SoundWriter::write_frames(const uint8_t* data, int64_t frames) {
  if (!encoder_->write(data, frames)) encoder_failed();
  frames_ += frames;
}

void SoundWriter::encoder_failed() {
  const std::string why = encoder_->failure();
  encoder_.reset();
  fail(why);
}

std::string SoundWriter::encode(const uint8_t* data, int64_t frames) {
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
    default: return "internal: unknown sample format";
  }
  return put == frames ? "" : sf_strerror(file_);
}

void SoundWriter::fail(const std::string& why) {
  if (sink_ != nullptr && sink_->error() != 0)
    throw Error("cannot write " + target_.name() + ": " + std::strerror(sink_->error()));
  throw Error("cannot write " + target_.name() + ": " + why);
}

int64_t SoundWriter::commit() {
  if (!encoder_->finish()) encoder_failed();
  encoder_.reset();
  // libsndfile's FLAC writes nothing until the first samples: without them
  // the file would be empty, which nothing reads.  The header alone is a
  // valid sound of no frames.
  if (frames_ == 0) sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
  const int rc = sf_close(file_);
  file_ = nullptr;
  if (rc != 0) fail(sf_error_number(rc));
  if (sink_ != nullptr && !sink_->finish()) fail("");
  if (temp_ != nullptr) temp_->commit();
  return frames_;
}

RunStats SoundWriter::commit(int64_t frames_in, std::chrono::steady_clock::time_point start) {
  RunStats stats;
  stats.output = stored_;
  stats.frames_in = frames_in;
  stats.frames_out = commit();
  stats.seconds_out = static_cast<double>(stats.frames_out) / format_.rate;
  stats.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return stats;
}

}  // namespace amix
