// rigstation rec info FILE / rec dump FILE [--csv] / rec export FILE --las OUT: what a run
// recording file holds (its run header, parameter lists, time and depth span, blocks), its
// lines as text or CSV, and its LAS 2.0 export. The file is streamed, never read whole.
// Damaged stretches are listed on stderr with their offsets; every readable line is still
// shown, and the exit code says the file was not whole.
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "command_registry.h"
#include "lib/date_time.h"
#include "lib/export_target.h"
#include "lib/file_system.h"
#include "storage/las_export.h"
#include "storage/real_time_format.h"
#include "storage/real_time_reader.h"
#include "storage/recording_dump.h"

namespace {

// Exit codes: 1 the file cannot be read, 2 read with damaged or cut blocks (on stderr).
constexpr int kExitUnreadable = 1;
constexpr int kExitDamaged = 2;
// An export reports its progress every this many lines, and into a file or a pipe only
// for a recording of at least kProgressLines lines.
constexpr std::size_t kProgressEvery = 1000;
constexpr std::size_t kProgressLines = 1000000;
// Days from 30.12.1899 to 01.01.1970.
constexpr double kUnixEpochDays = 25569.0;

struct RecArgs {
  std::string file;
  bool csv = false;
  std::string las;     // the LAS file to write
  std::string params;  // comma-separated identifiers; empty: all
};

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string time_text(std::uint32_t seconds) {
  return lib::format_date_time({kUnixEpochDays + seconds / 86400.0});
}

std::string number(float v) {
  return fmt::format("{}", v);
}

// Scans the file, listing its damaged places on stderr as they are met; nothing (said on
// stderr) when it cannot be opened or read.
std::optional<rtf::ScanTotals> scan(const std::string& file, rtf::RecordingVisitor& visitor,
                                    bool& damaged) {
  class Problems final : public rtf::RecordingVisitor {
   public:
    Problems(const std::string& file, rtf::RecordingVisitor& inner, bool& damaged)
        : file_(file), inner_(inner), damaged_(damaged) {}
    void on_version(std::uint64_t at) override { inner_.on_version(at); }
    void on_text(rtf::RecordedText&& t) override { inner_.on_text(std::move(t)); }
    void on_params(std::uint64_t at, const rtf::ParamList& l) override { inner_.on_params(at, l); }
    void on_line(const rtf::LineView& l) override { inner_.on_line(l); }
    void on_problem(rtf::ReadProblem&& p, bool cut) override {
      damaged_ = true;
      std::fprintf(stderr, "%s\n", rtf::problem_text(file_, p).c_str());
      inner_.on_problem(std::move(p), cut);
    }

   private:
    const std::string& file_;
    rtf::RecordingVisitor& inner_;
    bool& damaged_;
  } problems(file, visitor, damaged);
  try {
    return rtf::scan_recording_file(file, lib::posix_file_system(), problems);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rec: %s\n", e.what());
    return std::nullopt;
  }
}

int run_info(const RecArgs& args) {
  // Everything but the lines, which are only counted and spanned.
  struct Info final : rtf::RecordingVisitor {
    std::vector<rtf::RecordedText> texts;
    std::vector<rtf::ParamList> lists;
    std::size_t lines = 0, problems = 0;
    bool cut = false;
    std::uint32_t tmin = 0, tmax = 0;
    float dmin = 0, dmax = 0;
    void on_text(rtf::RecordedText&& t) override { texts.push_back(std::move(t)); }
    void on_params(std::uint64_t, const rtf::ParamList& l) override { lists.push_back(l); }
    void on_line(const rtf::LineView& l) override {
      if (lines++ == 0) {
        tmin = tmax = l.time;
        dmin = dmax = l.first_depth;
        return;
      }
      tmin = std::min(tmin, l.time);
      tmax = std::max(tmax, l.time);
      // As a minimum search over the lines would: a NaN depth never replaces the first.
      if (l.first_depth < dmin) dmin = l.first_depth;
      if (dmax < l.first_depth) dmax = l.first_depth;
    }
    void on_problem(rtf::ReadProblem&&, bool at_end) override {
      ++problems;
      cut = cut || at_end;
    }
  } c;
  bool damaged = false;
  const std::optional<rtf::ScanTotals> t = scan(args.file, c, damaged);
  if (!t) return kExitUnreadable;
  std::printf("file: %s\n", args.file.c_str());
  std::printf("blocks: %zu, writer runs: %zu, texts: %zu, parameter lists: %zu, lines: %zu\n",
              t->blocks, t->versions, c.texts.size(), c.lists.size(), c.lines);
  for (const rtf::RecordedText& text : c.texts) {
    std::printf("text at %llu:\n", static_cast<unsigned long long>(text.offset));
    for (const auto& [k, v] : text.values) std::printf("  %s = %s\n", k.c_str(), v.c_str());
  }
  for (std::size_t i = 0; i < c.lists.size(); ++i) {
    std::string ids;
    for (const rtf::RecordedParam& p : *c.lists[i]) {
      ids += (ids.empty() ? "" : ", ") + p.identifier + (p.unit.empty() ? "" : " [" + p.unit + "]");
    }
    std::printf("parameters %zu (%zu): %s\n", i + 1, c.lists[i]->size(), ids.c_str());
  }
  if (c.lines != 0) {
    std::printf("time: %s .. %s\n", time_text(c.tmin).c_str(), time_text(c.tmax).c_str());
    std::printf("depth: %s .. %s m\n", number(c.dmin).c_str(), number(c.dmax).c_str());
  }
  if (c.problems != 0) {
    std::printf("damaged: %zu place(s)%s, listed on stderr\n", c.problems,
                c.cut ? ", the last block is cut" : "");
  }
  return damaged ? kExitDamaged : 0;
}

int run_dump(const RecArgs& args) {
  rtf::LineDumper d(
      args.csv, [](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); });
  bool damaged = false;
  if (!scan(args.file, d, damaged)) return kExitUnreadable;
  d.flush();
  return damaged ? kExitDamaged : 0;
}

int run_export(const RecArgs& args) {
  rtf::LasOptions o;
  // Time files are indexed by time, the depth and lag files by depth.
  o.by_time = ends_with(args.file, rtf::kTimeSuffix);
  for (std::size_t start = 0; start <= args.params.size() && !args.params.empty();) {
    std::size_t comma = args.params.find(',', start);
    if (comma == std::string::npos) comma = args.params.size();
    if (comma > start) o.params.push_back(args.params.substr(start, comma - start));
    start = comma + 1;
  }
  // Progress of a large export on stderr: on a terminal one line rewritten at every per
  // cent; into a file or a pipe a line at every tenth, and only for a file of at least
  // kProgressLines lines, so the output of a small export stays the same.
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  std::optional<rtf::ProgressSteps> steps;
  bool shown = false;
  o.progress_every = kProgressEvery;
  o.progress = [&](std::size_t done, std::size_t total) {
    if (!terminal && total < kProgressLines) return;
    if (!steps) steps.emplace(total, terminal ? 1 : 10);
    const std::optional<int> percent = steps->advance(done);
    if (!percent) return;
    if (terminal) {
      std::fprintf(stderr, "\rexport: %3d %% (%zu of %zu lines)", *percent, done, total);
      shown = true;
    } else {
      std::fprintf(stderr, "export: %d %% (%zu of %zu lines)\n", *percent, done, total);
    }
    std::fflush(stderr);
  };
  rtf::LasResult las;
  try {
    las = rtf::export_las_to_file(args.file, args.las, lib::posix_file_system(), o);
  } catch (const std::exception& e) {
    if (shown) std::fputc('\n', stderr);
    std::fprintf(stderr, "export: %s\n", e.what());
    return kExitUnreadable;
  }
  if (shown) std::fputc('\n', stderr);
  for (const rtf::ReadProblem& p : las.problems) {
    std::fprintf(stderr, "%s\n", rtf::problem_text(args.file, p).c_str());
  }
  for (const std::string& p : las.unknown_params) {
    std::fprintf(stderr, "export: %s holds no parameter '%s'; it is left out\n", args.file.c_str(),
                 p.c_str());
  }
  if (las.dropped_lines != 0) {
    std::fprintf(stderr,
                 "export: %s: %zu line(s) left out, the %s of each not after the line before it "
                 "(the first at offset %llu); the LAS says so under ~Other\n",
                 args.file.c_str(), las.dropped_lines, o.by_time ? "time" : "depth",
                 static_cast<unsigned long long>(las.first_dropped_offset));
  }
  const std::string to =
      args.las == lib::ExportTarget::kStandardOutput ? "the standard output" : args.las;
  std::fprintf(stderr, "export: %zu lines of %s written to %s (LAS 2.0, indexed by %s)\n",
               las.lines, args.file.c_str(), to.c_str(), o.by_time ? "time" : "depth");
  return las.problems.empty() && las.unknown_params.empty() ? 0 : kExitDamaged;
}

void add_rec_command(CLI::App& app, rigstation::CommandContext& /*context*/) {
  CLI::App* rec = app.add_subcommand(
      "rec", "Read a run recording file (.realtim, .realdep, .reallag, .fast.realtim)");
  rec->require_subcommand(1);
  auto args = std::make_shared<RecArgs>();
  CLI::App* info = rec->add_subcommand(
      "info",
      "Run header, parameter lists, time and depth span, block count. Exit code 2: damaged "
      "or cut blocks (listed on stderr with their offsets).");
  info->add_option("file", args->file, "recording file")->required();
  info->callback([args] {
    if (const int rc = run_info(*args); rc != 0) throw CLI::RuntimeError(rc);
  });
  CLI::App* dump = rec->add_subcommand(
      "dump",
      "Every readable line: time, first depth, bit depth, third depth, operation and the "
      "values. Exit code 2: damaged or cut blocks (listed on stderr).");
  dump->add_option("file", args->file, "recording file")->required();
  dump->add_flag("--csv", args->csv,
                 "\";\"-separated CSV with a header row of identifiers, repeated wherever the "
                 "parameter list changes");
  dump->callback([args] {
    if (const int rc = run_dump(*args); rc != 0) throw CLI::RuntimeError(rc);
  });
  CLI::App* exp = rec->add_subcommand(
      "export",
      "Write the file as LAS 2.0 (ASCII, Russian names transliterated): the time files "
      "indexed by time in seconds, the depth and lag files by depth. Exit code 2: damaged "
      "blocks, or parameters asked for that the file does not hold (on stderr).");
  exp->add_option("file", args->file, "recording file")->required();
  exp->add_option("--las", args->las,
                  "the LAS file to write (replaced whole; a link is followed; a FIFO, a device or "
                  "\"-\" for the standard output is written straight); never a recording")
      ->required();
  exp->add_option("--params", args->params,
                  "comma-separated identifiers of the parameters to export, in this order");
  exp->callback([args] {
    if (const int rc = run_export(*args); rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("rec", add_rec_command);
