// The mud log of a long run, as ratios measured in the same run (docs/performance.md):
//   BM_PlotPdf vs BM_CairoPolylinesAlone: a 3000 m run at 0.2 m steps (15,000 depth lines of
//     100 parameters, and its lag file) drawn by the starter layout to a PDF at 1:500, the
//     files read, the log laid out and painted with its texts, against cairo stroking the
//     very polylines of that log into a PDF and nothing else. The target: at most 3 times.
//   BM_DepthWindow200m: what the web view answers for a window of 200 m of the same run; the
//     counter "bytes" is the size of the answer.
#include <benchmark/benchmark.h>
#include <cairo-pdf.h>
#include <cairo.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "lib/file_system.h"
#include "mudlog/cairo/cairo_log.h"
#include "mudlog/layout.h"
#include "mudlog/layout_format.h"
#include "mudlog/log_painter.h"
#include "mudlog/page_plan.h"
#include "mudlog/run_data.h"
#include "storage/real_time_records.h"
#include "web/depth_log_api.h"

namespace {

constexpr int kParams = 100;
constexpr int kLines = 15000;
constexpr double kTop = 1000;
constexpr double kStep = 0.2;

struct Home {
  std::string path;
  Home() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "rigcore-bench-XXXXXX").string();
    path = std::string(::mkdtemp(tmpl.data())) + "/";
    std::filesystem::create_directories(path + "records");
    const char* named[] = {"нагрузка",          "обороты_ротора", "момент_ротора",
                           "давление_на_входе", "сумм_газ",       "метан_абс"};
    std::vector<rtf::RecordedParam> params;
    for (int i = 0; i < kParams; ++i) {
      const std::string id = i < 6 ? named[i] : "параметр_" + std::to_string(i);
      params.push_back({id, "ед", id, id, 0, 100});
    }
    std::string depth, lag;
    std::uint32_t check = 0;  // the same list in both files
    for (std::string* f : {&depth, &lag}) {
      rtf::append_version_block(*f);
      check = rtf::append_params_block(*f, params);
    }
    rtf::ValuesLine line;
    line.values.resize(kParams);
    std::uint32_t t = 1800000000;
    for (int n = 0; n < kLines; ++n) {
      const double d = kTop + kStep * (n + 1);
      t += 20 + static_cast<std::uint32_t>(n % 7) * 5;
      line.time = t;
      line.first_depth = line.third_depth = line.bit_depth = static_cast<float>(d);
      line.operation = n % 50 < 45 ? 2 : 8;
      for (int i = 0; i < kParams; ++i)
        line.values[i] = static_cast<float>(50 + 40 * std::sin(d / (7.0 + i)));
      line.values[4] = static_cast<float>(std::exp(3 * std::sin(d / 13.0)));  // gas, for the log
      rtf::append_values_block(depth, line, check);
      rtf::append_values_block(lag, line, check);
    }
    auto& fs = lib::posix_file_system();
    lib::write_file_atomically(path + "records/0001.realdep", depth, fs, false);
    lib::write_file_atomically(path + "records/0001.reallag", lag, fs, false);
    mudlog::ensure_starter_layout(path + std::string(mudlog::layout_format::kFileName), fs);
  }
  ~Home() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

const Home& home() {
  static const Home h;
  return h;
}

mudlog::LogLayout layout() {
  return mudlog::parse_layout(mudlog::starter_layout_text(), "").layout;
}

mudlog::RunFiles files() {
  mudlog::RunFiles f;
  f.depth_file = home().path + "records/0001.realdep";
  return f;
}

void BM_PlotPdf(benchmark::State& state) {
  const mudlog::LogLayout l = layout();
  std::size_t bytes = 0;
  int pages = 0;
  for (auto _ : state) {
    const mudlog::RunData run = mudlog::load_run(files(), l, lib::posix_file_system());
    const mudlog::PagePlan plan =
        mudlog::plan_pages(l, std::floor(run.first_depth), std::ceil(run.last_depth), 500);
    const std::string pdf = mudlog::draw_document({l, run, plan}, mudlog::OutputKind::pdf);
    bytes = pdf.size();
    pages = plan.pages;
    benchmark::DoNotOptimize(pdf.data());
  }
  state.counters["pages"] = pages;
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_PlotPdf)->Unit(benchmark::kMillisecond);

// Keeps the polylines of the log, page by page, and nothing else.
class PolylineRecorder final : public mudlog::Canvas {
 public:
  struct Line {
    std::vector<double> xy;
    std::uint32_t colour;
    double width;
  };
  std::vector<std::vector<Line>> pages;
  void begin_page(double, double) override { pages.emplace_back(); }
  void end_page() override {}
  void clip(double, double, double, double) override {}
  void unclip() override {}
  void fill_rect(double, double, double, double, std::uint32_t) override {}
  void polyline(const double* xy, std::size_t n, std::uint32_t colour, double width,
                mudlog::LineStyle) override {
    pages.back().push_back({std::vector<double>(xy, xy + 2 * n), colour, width});
  }
  void text(double, double, std::string_view, double, std::uint32_t, mudlog::TextAlign,
            bool) override {}
  void text_up(double, double, std::string_view, double, std::uint32_t, bool) override {}
  double text_width(std::string_view text, double size, bool) override {
    return 0.5 * size * static_cast<double>(text.size());
  }
};

cairo_status_t discard(void*, const unsigned char*, unsigned int) {
  return CAIRO_STATUS_SUCCESS;
}

void BM_CairoPolylinesAlone(benchmark::State& state) {
  const mudlog::LogLayout l = layout();
  const mudlog::RunData run = mudlog::load_run(files(), l, lib::posix_file_system());
  const mudlog::PagePlan plan =
      mudlog::plan_pages(l, std::floor(run.first_depth), std::ceil(run.last_depth), 500);
  PolylineRecorder rec;
  mudlog::paint_log(rec, {l, run, plan});
  std::size_t points = 0;
  for (const auto& page : rec.pages)
    for (const auto& line : page) points += line.xy.size() / 2;
  const double k = 72.0 / 25.4;
  for (auto _ : state) {
    cairo_surface_t* s = cairo_pdf_surface_create_for_stream(
        discard, nullptr, plan.page_width_mm * k, plan.page_height_mm * k);
    cairo_t* cr = cairo_create(s);
    cairo_scale(cr, k, k);
    for (const auto& page : rec.pages) {
      for (const auto& line : page) {
        cairo_set_source_rgb(cr, ((line.colour >> 16) & 0xFF) / 255.0,
                             ((line.colour >> 8) & 0xFF) / 255.0, (line.colour & 0xFF) / 255.0);
        cairo_set_line_width(cr, line.width);
        cairo_move_to(cr, line.xy[0], line.xy[1]);
        for (std::size_t i = 2; i < line.xy.size(); i += 2)
          cairo_line_to(cr, line.xy[i], line.xy[i + 1]);
        cairo_stroke(cr);
      }
      cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(s);
    cairo_surface_destroy(s);
  }
  state.counters["pages"] = static_cast<double>(rec.pages.size());
  state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_CairoPolylinesAlone)->Unit(benchmark::kMillisecond);

void BM_DepthWindow200m(benchmark::State& state) {
  const web::DepthLogHome h{home().path, &lib::posix_file_system()};
  std::size_t bytes = 0;
  for (auto _ : state) {
    const web::RouteAnswer a = web::depth_log_window(h, "run=1&from=2400&to=2600");
    if (a.status != 200) state.SkipWithError(a.body.c_str());
    bytes = a.body.size();
    benchmark::DoNotOptimize(a.body.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DepthWindow200m)->Unit(benchmark::kMillisecond);

}  // namespace
