// rigstation rec plot FILE.realdep [--from M] [--to M] [--scale 1:500] --pdf OUT | --svg OUT:
// the mud log of a bit run as a PDF to print (pages broken at the page length, the depth
// going on from page to page) or one SVG strip. The lag file and the journals are taken
// from beside the depth file in the station home, the layout from the home's layout file.
// Whatever the log lacks (no lag file, a curve without values, an identifier the run did not
// record, a reversed range) is said on stderr, and the rest is drawn.
#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "command_registry.h"
#include "journals/journal_files.h"
#include "lib/file_system.h"
#include "mudlog/cairo/cairo_log.h"
#include "mudlog/layout.h"
#include "mudlog/layout_format.h"
#include "mudlog/page_plan.h"
#include "mudlog/run_data.h"

namespace {

constexpr int kExitNothingDrawn = 1;
constexpr int kExitDamaged = 2;

struct PlotArgs {
  std::string file;
  std::optional<double> from, to;
  std::string scale;
  std::string pdf, svg, layout;
};

// The home a recording file lies in: the folder above its "records/" folder.
std::string home_of(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
  return folder + "../";
}

std::optional<int> parse_scale(std::string text) {
  if (text.starts_with("1:")) text.erase(0, 2);
  try {
    std::size_t used = 0;
    const int v = std::stoi(text, &used);
    if (used == text.size() && v >= mudlog::layout_format::kMinScale &&
        v <= mudlog::layout_format::kMaxScale)
      return v;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::string metres(double v) {
  return fmt::format("{:g}", v);
}

int run_plot(const PlotArgs& args, const rigstation::CommandContext& context) {
  lib::FileSystem& fs = lib::posix_file_system();
  auto say = [](const std::string& line) { std::fprintf(stderr, "plot: %s\n", line.c_str()); };
  const std::string home = context.home_option.empty() ? home_of(args.file) : context.home();
  const std::string layout_path =
      args.layout.empty() ? home + std::string(mudlog::layout_format::kFileName) : args.layout;
  mudlog::LayoutRead layout = mudlog::load_layout(layout_path, fs);
  for (const std::string& p : layout.problems) say(p);
  int scale = layout.layout.scale;
  if (!args.scale.empty()) {
    const auto s = parse_scale(args.scale);
    if (!s) {
      say(fmt::format("--scale '{}' is not 1:N with N from {} to {}", args.scale,
                      mudlog::layout_format::kMinScale, mudlog::layout_format::kMaxScale));
      return kExitNothingDrawn;
    }
    scale = *s;
  }
  std::optional<double> from = args.from, to = args.to;
  if (from && to && *from > *to) {
    say(fmt::format("the depth range {}..{} m is reversed; it is drawn from {} to {} m",
                    metres(*from), metres(*to), metres(*to), metres(*from)));
    std::swap(*from, *to);
  }
  mudlog::RunFiles files;
  files.depth_file = args.file;
  files.remarks_file = journals::journal_path(home, journals::kRemarksFileName);
  files.mud_log_file = journals::journal_path(home, journals::kMudLogFileName);
  mudlog::RunData run;
  try {
    if (!from || !to) {
      // The whole run, or the rest of it, from whole metres.
      const mudlog::RunSummary summary = mudlog::summarize_run(args.file, fs);
      if (summary.lines == 0) {
        say(args.file + " holds no depth line; there is no log to draw");
        return kExitNothingDrawn;
      }
      if (!from) from = std::floor(summary.first_depth);
      if (!to) to = std::ceil(summary.last_depth);
      if (*from > *to) {
        say(fmt::format("the depth range {}..{} m is reversed; it is drawn from {} to {} m",
                        metres(*from), metres(*to), metres(*to), metres(*from)));
        std::swap(*from, *to);
      }
    }
    run = mudlog::load_run(files, layout.layout, fs, mudlog::DepthRange{*from, *to});
  } catch (const std::exception& e) {
    say(e.what());
    return kExitNothingDrawn;
  }
  if (*to - *from < 1e-6) {
    say(fmt::format("the depth range {}..{} m is empty; one metre from {} m is drawn",
                    metres(*from), metres(*to), metres(*from)));
    *to = *from + 1;
  }
  for (const std::string& n : run.notes) say(n);
  const bool svg = !args.svg.empty();
  const mudlog::PagePlan plan = mudlog::plan_pages(layout.layout, *from, *to, scale, svg);
  if (!plan.note.empty()) say(plan.note);
  const std::string out = svg ? args.svg : args.pdf;
  try {
    const std::string bytes = mudlog::draw_document(
        {layout.layout, run, plan}, svg ? mudlog::OutputKind::svg : mudlog::OutputKind::pdf);
    lib::write_file_atomically(out, bytes, fs);
  } catch (const std::exception& e) {
    mudlog::release_drawing_caches();
    say(out + ": " + e.what());
    return kExitNothingDrawn;
  }
  mudlog::release_drawing_caches();
  say(fmt::format("{} page(s) of {} ({}–{} m at 1:{}) written to {}", plan.pages, args.file,
                  metres(*from), metres(*to), plan.scale, out));
  return run.damaged ? kExitDamaged : 0;
}

void add_rec_plot(CLI::App& app, rigstation::CommandContext& context) {
  // `rec` is added before this (the commands are added in name order).
  CLI::App* rec = app.get_subcommand("rec");
  auto args = std::make_shared<PlotArgs>();
  CLI::App* plot = rec->add_subcommand(
      "plot",
      "Draw the mud log of a run's depth file (.realdep) as a PDF or an SVG, by the home's "
      "layout file; the lag file and the journals are taken from the home. Exit code 2: the "
      "recording has damaged blocks (the rest is drawn).");
  plot->add_option("file", args->file, "depth recording file (NNNN.realdep)")->required();
  plot->add_option("--from", args->from, "top depth, m (default: the run's first line)");
  plot->add_option("--to", args->to, "bottom depth, m (default: the run's last line)");
  plot->add_option("--scale", args->scale, "depth scale 1:N (default: the layout's)");
  auto* pdf = plot->add_option("--pdf", args->pdf, "the PDF to write, page by page");
  auto* svg = plot->add_option("--svg", args->svg, "the SVG to write, one strip");
  pdf->excludes(svg);
  plot->add_option(
      "--layout", args->layout,
      "layout file (default: " + std::string(mudlog::layout_format::kFileName) + " in the home)");
  plot->callback([args, &context] {
    if (args->pdf.empty() && args->svg.empty()) {
      throw CLI::ValidationError("rec plot", "give --pdf OUT or --svg OUT");
    }
    if (const int rc = run_plot(*args, context); rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("rec plot", add_rec_plot);
