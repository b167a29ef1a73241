#include "amix/report/plot.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "tavrin_amix/audio_resampler.h"
#include "amix/base/clock_time.h"
#include "amix/base/error.h"
#include "amix/io/output_file.h"
#include "amix/report/time_axis.h"

namespace amix {
namespace {

constexpr int kWidth = 1200;
constexpr double kLeft = 60, kRight = 20, kTop = 40;
constexpr double kWaveHeight = 240, kGainHeight = 60, kGap = 20;
constexpr double kLanesHeight = 112;  // at the most; a lane is 14 px at the most
constexpr int kMaxTicks = 11;         // labels of up to 8 characters stay apart

struct Rgb {
  double r, g, b;
};
constexpr Rgb kWave = {0.20, 0.40, 0.70}, kPeak = {0.95, 0.55, 0.05}, kGain = {0.15, 0.55, 0.30},
              kInk = {0.2, 0.2, 0.2}, kGrid = {0.85, 0.85, 0.85};
const Rgb kLanes[] = {{0.55, 0.70, 0.90}, {0.95, 0.75, 0.50}, {0.65, 0.85, 0.65},
                      {0.85, 0.65, 0.85}, {0.90, 0.85, 0.55}, {0.60, 0.80, 0.80}};

void set(cairo_t* cr, const Rgb& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

cairo_status_t write_to_fd(void* closure, const unsigned char* data, unsigned int length) {
  const int fd = *static_cast<int*>(closure);
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n <= 0) return CAIRO_STATUS_WRITE_ERROR;
    data += n;
    length -= static_cast<unsigned int>(n);
  }
  return CAIRO_STATUS_SUCCESS;
}

void text(cairo_t* cr, double x, double y, const std::string& s, double align = 0.0) {
  cairo_text_extents_t ext;
  cairo_text_extents(cr, s.c_str(), &ext);
  cairo_move_to(cr, x - ext.x_advance * align, y);
  cairo_show_text(cr, s.c_str());
}

// A horizontal grid line at `y` across the plot, labelled at its left.
void grid_line(cairo_t* cr, double y, double width, const std::string& label, bool strong) {
  const double shade = strong ? 0.6 : kGrid.r;
  cairo_set_source_rgb(cr, shade, shade, shade);
  cairo_move_to(cr, kLeft, std::floor(y) + 0.5);
  cairo_line_to(cr, kLeft + width, std::floor(y) + 0.5);
  cairo_stroke(cr);
  set(cr, {0.3, 0.3, 0.3});
  text(cr, kLeft - 6, y + 4, label, 1.0);
}

// The file's name without its directory; `dash` names "-" (standard input
// for an input, standard output for the mix).
std::string base_name(const std::string& path, const char* dash) {
  if (path == "-") return dash;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// Where the panels sit in the picture.
struct WaveformPlot::Frame {
  double seconds;  // of the timeline
  double width = kWidth - kLeft - kRight;
  double wave_top = kTop;
  double gain_top = kTop + kWaveHeight + kGap;
  double lanes_top = gain_top + kGainHeight + kGap;
  double lane_height;
  double axis_y;
  double legend_y;
  int height;

  Frame(double timeline_seconds, size_t lanes)
      : seconds(std::max(1e-9, timeline_seconds)),
        lane_height(lanes == 0 ? 0 : std::min(14.0, std::floor(kLanesHeight / lanes))),
        axis_y(lanes_top + lane_height * lanes + 16),
        legend_y(axis_y + 26),
        height(static_cast<int>(legend_y + 12)) {}
  double x_of(double t) const { return kLeft + std::clamp(t / seconds, 0.0, 1.0) * width; }
  double wave_y(double v) const { return wave_top + (1.0 - v) / 2.0 * kWaveHeight; }
  double gain_y(double g) const { return gain_top + (1.0 - std::clamp(g, 0.0, 1.0)) * kGainHeight; }
};

namespace {

// A level per block, drawn as a step line from its start to its end.
template <typename Frame, typename Marks, typename Y>
void draw_steps(cairo_t* cr, const Frame& f, const Marks& marks, const Rgb& colour, Y y_of) {
  set(cr, colour);
  cairo_set_line_width(cr, 1.5);
  for (const auto& b : marks) {
    cairo_move_to(cr, f.x_of(b.start), y_of(b));
    cairo_line_to(cr, f.x_of(b.end), y_of(b));
  }
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1);
}

}  // namespace

void check_plot_name(const std::string& path) {
  std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext != ".png")
    throw UsageError("--plot: the picture is a PNG, so its name must end in .png, got '" + path +
                     "'");
}

std::string plot_title(const std::string& out, const MixResult& result) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s: %s, %s, %lld blocks of which %lld limited",
                base_name(out, "standard output").c_str(), result.stats.output.describe().c_str(),
                format_clock_time(result.stats.seconds_out).c_str(),
                static_cast<long long>(result.blocks),
                static_cast<long long>(result.limited_blocks));
  return buf;
}

void WaveformPlot::start(int rate, int channels) {
  rate_ = rate;
  channels_ = channels;
}

template <typename T>
void WaveformPlot::extend(const T* samples, int64_t frames, double middle, double full_scale) {
  for (int64_t f = 0; f < frames;) {
    if (frames_ % kBucket == 0) envelope_.push_back({});
    // The rest of the bucket, or of the block.
    const int64_t n = std::min(frames - f, kBucket - frames_ % kBucket);
    const T* s = samples + f * channels_;
    T low = s[0], high = s[0];
    for (int64_t i = 1; i < n * channels_; ++i) {
      low = std::min(low, s[i]);
      high = std::max(high, s[i]);
    }
    Span& span = envelope_.back();
    span.low = std::min(span.low, static_cast<float>((low - middle) / full_scale));
    span.high = std::max(span.high, static_cast<float>((high - middle) / full_scale));
    f += n;
    frames_ += n;
  }
}

void WaveformPlot::add(const void* samples, size_t count, int pcm_format, const MixBlock& block) {
  const int64_t frames = static_cast<int64_t>(count) / channels_;
  switch (pcm_format) {
    case PCM_FORMAT_U8: extend(static_cast<const uint8_t*>(samples), frames, 128, 128); break;
    case PCM_FORMAT_S16: extend(static_cast<const int16_t*>(samples), frames, 0, 32768); break;
    case PCM_FORMAT_S32: extend(static_cast<const int32_t*>(samples), frames, 0, 2147483648.0); break;
    default: extend(static_cast<const float*>(samples), frames, 0, 1); break;
  }
  blocks_.push_back({block.start_seconds, static_cast<double>(frames_) / rate_, block.peak,
                     block.gain, block.limited});
}

std::vector<WaveformPlot::BlockMark> WaveformPlot::marks(const Frame& f) const {
  std::vector<BlockMark> merged;
  double column = -1;
  for (const BlockMark& b : blocks_) {
    const double x = std::floor(f.x_of(b.start));
    if (merged.empty() || x != column) {
      merged.push_back(b);
      column = x;
      continue;
    }
    BlockMark& m = merged.back();
    m.end = b.end;
    m.peak = std::max(m.peak, b.peak);
    m.gain = std::min(m.gain, b.gain);
    m.limited = m.limited || b.limited;
  }
  return merged;
}

void WaveformPlot::draw_limited(cairo_t* cr, const Frame& f, const std::vector<BlockMark>& marks,
                                double top, double height) {
  cairo_set_source_rgba(cr, 0.9, 0.2, 0.2, 0.18);
  for (const BlockMark& b : marks)
    if (b.limited) cairo_rectangle(cr, f.x_of(b.start), top, f.x_of(b.end) - f.x_of(b.start), height);
  cairo_fill(cr);
}

void WaveformPlot::draw_waveform(cairo_t* cr, const Frame& f,
                                 const std::vector<BlockMark>& marks) const {
  draw_limited(cr, f, marks, f.wave_top, kWaveHeight);
  for (double v : {1.0, 0.5, 0.0, -0.5, -1.0}) {
    char label[16];
    std::snprintf(label, sizeof label, "%+.1f", v);
    grid_line(cr, f.wave_y(v), f.width, label, v == 0.0);
  }
  // The envelope, one vertical stroke per pixel column.
  set(cr, kWave);
  const size_t n = envelope_.size();
  for (int px = 0; px < static_cast<int>(f.width) && n > 0; ++px) {
    const size_t a = static_cast<size_t>(px / f.width * n);
    const size_t b = std::max(a + 1, static_cast<size_t>((px + 1) / f.width * n));
    float low = 0, high = 0;
    for (size_t i = a; i < std::min(b, n); ++i) {
      low = std::min(low, envelope_[i].low);
      high = std::max(high, envelope_[i].high);
    }
    cairo_move_to(cr, kLeft + px + 0.5, f.wave_y(high));
    cairo_line_to(cr, kLeft + px + 0.5, f.wave_y(low) + 1);
  }
  cairo_stroke(cr);
  // Each block's peak, as a step line above the waveform.
  draw_steps(cr, f, marks, kPeak, [&](const BlockMark& b) { return f.wave_y(b.peak); });
}

void WaveformPlot::draw_gain(cairo_t* cr, const Frame& f, const std::vector<BlockMark>& marks) {
  // Limited blocks again: where the waveform fills its panel, they show here.
  draw_limited(cr, f, marks, f.gain_top, kGainHeight);
  grid_line(cr, f.gain_y(1.0), f.width, "1.0", false);
  grid_line(cr, f.gain_y(0.5), f.width, "0.5", false);
  grid_line(cr, f.gain_y(0.0), f.width, "0", true);
  // A step per block (the lowest of those in a pixel's width).
  draw_steps(cr, f, marks, kGain, [&](const BlockMark& b) { return f.gain_y(b.gain); });
}

// One lane per input: a bar from its start to its end on the timeline.
void WaveformPlot::draw_lanes(cairo_t* cr, const Frame& f, const std::vector<InputSpan>& inputs) {
  const double lane = f.lane_height;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const double y = f.lanes_top + lane * i;
    const double x0 = f.x_of(inputs[i].start_seconds), x1 = f.x_of(inputs[i].end_seconds);
    set(cr, kLanes[i % (sizeof kLanes / sizeof kLanes[0])]);
    cairo_rectangle(cr, x0, y + 1, std::max(1.0, x1 - x0), lane - 2);
    cairo_fill(cr);
    if (lane < 11) continue;
    set(cr, kInk);
    cairo_save(cr);
    cairo_rectangle(cr, x0, y, std::max(1.0, x1 - x0), lane);
    cairo_clip(cr);
    text(cr, x0 + 4, y + lane - 3, base_name(inputs[i].path, "standard input"));
    cairo_restore(cr);
  }
}

// Tick labels below the lanes, with faint lines up through the panels.
void WaveformPlot::draw_time_axis(cairo_t* cr, const Frame& f) {
  for (const TimeTick& t : time_ticks(f.seconds, kMaxTicks)) {
    const double x = std::floor(f.x_of(t.seconds)) + 0.5;
    cairo_set_source_rgba(cr, 0, 0, 0, 0.08);
    cairo_move_to(cr, x, kTop);
    cairo_line_to(cr, x, f.axis_y - 14);
    cairo_stroke(cr);
    set(cr, {0.3, 0.3, 0.3});
    text(cr, x, f.axis_y, t.label, 0.5);
  }
}

namespace {

void legend_item(cairo_t* cr, double x, double y, const Rgb& c, double alpha, double h,
                 const char* label) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
  cairo_rectangle(cr, x, y - 4 - h / 2, 14, h);
  cairo_fill(cr);
  set(cr, kInk);
  text(cr, x + 20, y, label);
}

void draw_legend(cairo_t* cr, double y) {
  legend_item(cr, kLeft, y, kWave, 1, 10, "waveform (all channels)");
  legend_item(cr, kLeft + 190, y, kPeak, 1, 3, "peak of each mixed block");
  legend_item(cr, kLeft + 390, y, {0.9, 0.2, 0.2}, 0.35, 10, "block limited by the master gain");
  legend_item(cr, kLeft + 640, y, kGain, 1, 3, "master gain of each block");
  legend_item(cr, kLeft + 850, y, kLanes[0], 1, 10, "inputs on the timeline");
}

}  // namespace

void WaveformPlot::write_png(TempFile& png, const std::string& title,
                             const std::vector<InputSpan>& inputs) const {
  const Frame f(static_cast<double>(frames_) / rate_, inputs.size());
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, f.height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  cairo_set_line_width(cr, 1);

  const std::vector<BlockMark> merged = marks(f);
  draw_waveform(cr, f, merged);
  draw_gain(cr, f, merged);
  draw_lanes(cr, f, inputs);
  draw_time_axis(cr, f);
  draw_legend(cr, f.legend_y);
  cairo_set_font_size(cr, 14);
  cairo_set_source_rgb(cr, 0, 0, 0);
  text(cr, kLeft, 24, title);

  cairo_destroy(cr);
  cairo_surface_flush(surface);
  int fd = png.fd();
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface, write_to_fd, &fd);
  cairo_surface_destroy(surface);
  // The font caches would otherwise live as long as the process; the tool
  // draws one picture per run, so they go with it (and leak checkers stay
  // quiet).
  cairo_debug_reset_static_data();
  FcFini();
  if (status != CAIRO_STATUS_SUCCESS)
    throw Error("cannot write '" + png.final_path() + "': " + cairo_status_to_string(status));
  png.commit();
}

}  // namespace amix
