#include "amix/plot.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "amix/cli.h"
#include "amix/output_file.h"

namespace amix {
namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 420;
constexpr double kLeft = 60, kRight = 20, kTop = 40, kBottom = 50;

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

}  // namespace

std::string plot_title(const std::string& out, const MixResult& result) {
  const size_t slash = out.rfind('/');
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s: %s, %.3f s, %lld blocks of which %lld limited",
                slash == std::string::npos ? out.c_str() : out.c_str() + slash + 1,
                result.stats.output.describe().c_str(), result.stats.seconds_out,
                static_cast<long long>(result.blocks),
                static_cast<long long>(result.limited_blocks));
  return buf;
}

void WaveformPlot::start(int rate, int channels) {
  rate_ = rate;
  channels_ = channels;
}

void WaveformPlot::add(const int16_t* samples, size_t count, const MixBlock& block) {
  const int64_t frames = static_cast<int64_t>(count) / channels_;
  for (int64_t f = 0; f < frames; ++f, ++frames_) {
    if (frames_ % kBucket == 0) envelope_.push_back({});
    Span& s = envelope_.back();
    for (int c = 0; c < channels_; ++c) {
      const float v = samples[f * channels_ + c] / 32768.0f;
      s.low = std::min(s.low, v);
      s.high = std::max(s.high, v);
    }
  }
  blocks_.push_back({block.start_seconds, static_cast<double>(frames_) / rate_, block.peak,
                     block.limited});
}

void WaveformPlot::write_png(const std::string& path, const std::string& title) const {
  TempFile temp(path);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  const double plot_w = kWidth - kLeft - kRight;
  const double plot_h = kHeight - kTop - kBottom;
  const double seconds = std::max(1e-9, static_cast<double>(frames_) / rate_);
  auto x_of = [&](double t) { return kLeft + t / seconds * plot_w; };
  auto y_of = [&](double v) { return kTop + (1.0 - v) / 2.0 * plot_h; };

  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);

  // Limited blocks: a red band behind the waveform.
  cairo_set_source_rgba(cr, 0.9, 0.2, 0.2, 0.18);
  for (const BlockMark& b : blocks_)
    if (b.limited) cairo_rectangle(cr, x_of(b.start), kTop, x_of(b.end) - x_of(b.start), plot_h);
  cairo_fill(cr);

  // Full scale, half scale and zero lines.
  cairo_set_line_width(cr, 1);
  for (double v : {1.0, 0.5, 0.0, -0.5, -1.0}) {
    cairo_set_source_rgb(cr, v == 0.0 ? 0.6 : 0.85, v == 0.0 ? 0.6 : 0.85, v == 0.0 ? 0.6 : 0.85);
    cairo_move_to(cr, kLeft, y_of(v) + 0.5);
    cairo_line_to(cr, kLeft + plot_w, y_of(v) + 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    char label[16];
    std::snprintf(label, sizeof label, "%+.1f", v);
    text(cr, kLeft - 6, y_of(v) + 4, label, 1.0);
  }

  // The envelope, one vertical stroke per pixel column.
  cairo_set_source_rgb(cr, 0.20, 0.40, 0.70);
  const size_t n = envelope_.size();
  for (int px = 0; px < static_cast<int>(plot_w) && n > 0; ++px) {
    const size_t a = static_cast<size_t>(static_cast<double>(px) / plot_w * n);
    const size_t b = std::max(a + 1, static_cast<size_t>(static_cast<double>(px + 1) / plot_w * n));
    float low = 0, high = 0;
    for (size_t i = a; i < std::min(b, n); ++i) {
      low = std::min(low, envelope_[i].low);
      high = std::max(high, envelope_[i].high);
    }
    cairo_move_to(cr, kLeft + px + 0.5, y_of(high));
    cairo_line_to(cr, kLeft + px + 0.5, y_of(low) + 1);
  }
  cairo_stroke(cr);

  // Each block's peak, as a step line above the waveform.
  cairo_set_source_rgb(cr, 0.95, 0.55, 0.05);
  cairo_set_line_width(cr, 1.5);
  for (const BlockMark& b : blocks_) {
    cairo_move_to(cr, x_of(b.start), y_of(b.peak));
    cairo_line_to(cr, x_of(b.end), y_of(b.peak));
  }
  cairo_stroke(cr);

  // Time axis.
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  const double step = seconds > 20 ? 5 : seconds > 5 ? 1 : seconds > 1 ? 0.5 : 0.1;
  for (double t = 0; t <= seconds + 1e-9; t += step) {
    char label[16];
    std::snprintf(label, sizeof label, step < 1 ? "%.1f s" : "%.0f s", t);
    text(cr, x_of(t), kTop + plot_h + 18, label, 0.5);
  }

  // Title and legend.
  cairo_set_font_size(cr, 14);
  cairo_set_source_rgb(cr, 0, 0, 0);
  text(cr, kLeft, 24, title);
  cairo_set_font_size(cr, 12);
  const double ly = kHeight - 14;
  cairo_set_source_rgb(cr, 0.20, 0.40, 0.70);
  cairo_rectangle(cr, kLeft, ly - 9, 14, 10);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  text(cr, kLeft + 20, ly, "waveform (all channels)");
  cairo_set_source_rgb(cr, 0.95, 0.55, 0.05);
  cairo_rectangle(cr, kLeft + 200, ly - 5, 14, 3);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  text(cr, kLeft + 220, ly, "peak of each mixed block");
  cairo_set_source_rgba(cr, 0.9, 0.2, 0.2, 0.35);
  cairo_rectangle(cr, kLeft + 400, ly - 9, 14, 10);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  text(cr, kLeft + 420, ly, "block limited by the master gain");

  cairo_destroy(cr);
  cairo_surface_flush(surface);
  int fd = temp.fd();
  const cairo_status_t status = cairo_surface_write_to_png_stream(surface, write_to_fd, &fd);
  cairo_surface_destroy(surface);
  // The font caches would otherwise live as long as the process; the tool
  // draws one picture per run, so they go with it (and leak checkers stay
  // quiet).
  cairo_debug_reset_static_data();
  FcFini();
  if (status != CAIRO_STATUS_SUCCESS)
    throw Error("cannot write '" + path + "': " + cairo_status_to_string(status));
  temp.commit();
}

}  // namespace amix
