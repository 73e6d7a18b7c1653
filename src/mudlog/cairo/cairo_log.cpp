#include "mudlog/cairo/cairo_log.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <numbers>
#include <stdexcept>

namespace mudlog {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr const char* kFontFamily = "DejaVu Sans";

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

void set_colour(cairo_t* cr, std::uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       (rgb & 0xFF) / 255.0);
}

class CairoCanvas final : public Canvas {
 public:
  explicit CairoCanvas(cairo_surface_t* surface) : cr_(cairo_create(surface)) {
    cairo_scale(cr_, kPointsPerMm, kPointsPerMm);
    cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
    for (bool bold : {false, true}) {
      fonts_[bold] =
          cairo_toy_font_face_create(kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                                     bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    }
  }
  ~CairoCanvas() override {
    for (cairo_font_face_t* f : fonts_) cairo_font_face_destroy(f);
    cairo_destroy(cr_);
  }
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

  cairo_status_t status() const { return cairo_status(cr_); }

  void begin_page(double, double) override {}
  void end_page() override { cairo_show_page(cr_); }
  void clip(double x, double y, double w, double h) override {
    cairo_save(cr_);
    cairo_rectangle(cr_, x, y, w, h);
    cairo_clip(cr_);
  }
  void unclip() override { cairo_restore(cr_); }
  void fill_rect(double x, double y, double w, double h, std::uint32_t colour) override {
    set_colour(cr_, colour);
    cairo_rectangle(cr_, x, y, w, h);
    cairo_fill(cr_);
  }
  void polyline(const double* xy, std::size_t points, std::uint32_t colour, double width_mm,
                LineStyle style) override {
    if (points < 2) return;
    set_colour(cr_, colour);
    cairo_set_line_width(cr_, width_mm);
    switch (style) {
      case LineStyle::solid:
        cairo_set_dash(cr_, nullptr, 0, 0);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
        break;
      case LineStyle::dashed: {
        const double dash[] = {1.6, 0.8};
        cairo_set_dash(cr_, dash, 2, 0);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
        break;
      }
      case LineStyle::dotted: {
        const double dash[] = {0.01, 0.7};
        cairo_set_dash(cr_, dash, 2, 0);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
        break;
      }
    }
    cairo_move_to(cr_, xy[0], xy[1]);
    for (std::size_t i = 1; i < points; ++i) cairo_line_to(cr_, xy[2 * i], xy[2 * i + 1]);
    cairo_stroke(cr_);
  }
  void text(double x, double y, std::string_view text, double size_mm, std::uint32_t colour,
            TextAlign align, bool bold) override {
    if (text.empty()) return;
    const std::string s(text);
    font(size_mm, bold);
    double dx = 0;
    if (align != TextAlign::left) {
      cairo_text_extents_t e;
      cairo_text_extents(cr_, s.c_str(), &e);
      dx = align == TextAlign::centre ? -e.x_advance / 2 : -e.x_advance;
    }
    set_colour(cr_, colour);
    cairo_move_to(cr_, x + dx, y);
    cairo_show_text(cr_, s.c_str());
  }
  void text_up(double x, double y, std::string_view text, double size_mm, std::uint32_t colour,
               bool bold) override {
    cairo_save(cr_);
    cairo_translate(cr_, x, y);
    cairo_rotate(cr_, -std::numbers::pi / 2);
    this->text(0, 0, text, size_mm, colour, TextAlign::left, bold);
    cairo_restore(cr_);
  }
  double text_width(std::string_view text, double size_mm, bool bold) override {
    const std::string s(text);
    font(size_mm, bold);
    cairo_text_extents_t e;
    cairo_text_extents(cr_, s.c_str(), &e);
    return e.x_advance;
  }

 private:
  void font(double size_mm, bool bold) {
    cairo_set_font_face(cr_, fonts_[bold]);
    cairo_set_font_size(cr_, size_mm);
  }

  cairo_t* cr_;
  cairo_font_face_t* fonts_[2] = {nullptr, nullptr};
};

}  // namespace

std::string draw_document(const LogDocument& doc, OutputKind kind) {
  std::string bytes;
  const double w = doc.plan.page_width_mm * kPointsPerMm;
  const double h = doc.plan.page_height_mm * kPointsPerMm;
  if (kind == OutputKind::svg && doc.plan.pages != 1) {
    throw std::invalid_argument("an SVG holds one page: plan the log as one strip");
  }
  cairo_surface_t* surface = kind == OutputKind::pdf
                                 ? cairo_pdf_surface_create_for_stream(append_bytes, &bytes, w, h)
                                 : cairo_svg_surface_create_for_stream(append_bytes, &bytes, w, h);
  cairo_status_t status = cairo_surface_status(surface);
  if (status == CAIRO_STATUS_SUCCESS) {
    CairoCanvas canvas(surface);
    paint_log(canvas, doc);
    status = canvas.status();
  }
  cairo_surface_finish(surface);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    throw std::runtime_error(std::string("cairo cannot draw the log: ") +
                             cairo_status_to_string(status));
  }
  return bytes;
}

void release_drawing_caches() {
  cairo_debug_reset_static_data();
  FcFini();
}

}  // namespace mudlog
