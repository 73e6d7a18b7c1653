// rigstation rec info FILE / rec dump FILE [--csv]: what a run recording file holds (its
// run header, parameter lists, time and depth span, blocks), and its lines as text or CSV.
// Damaged stretches are listed on stderr with their offsets; every readable line is still
// shown, and the exit code says the file was not whole.
#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "command_registry.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "storage/las_export.h"
#include "storage/real_time_format.h"
#include "storage/real_time_reader.h"

namespace {

// Exit codes: 1 the file cannot be read, 2 read with damaged or cut blocks (on stderr).
constexpr int kExitUnreadable = 1;
constexpr int kExitDamaged = 2;
// The most of a recording file taken into memory: a year of time lines at 100 parameters.
constexpr std::size_t kMaxRecordingBytes = std::size_t{16} << 30;
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

bool load(const std::string& file, rtf::RecordingContents& out) {
  auto bytes = lib::read_whole_file(file, lib::posix_file_system(), kMaxRecordingBytes);
  if (!bytes) {
    std::fprintf(stderr, "rec: cannot read %s: %s\n", file.c_str(),
                 lib::read_failure_text(errno, kMaxRecordingBytes).c_str());
    return false;
  }
  out = rtf::read_recording(*bytes);
  for (const rtf::ReadProblem& p : out.problems) {
    std::fprintf(stderr, "%s\n", rtf::problem_text(file, p).c_str());
  }
  return true;
}

int run_info(const RecArgs& args) {
  rtf::RecordingContents c;
  if (!load(args.file, c)) return kExitUnreadable;
  std::printf("file: %s\n", args.file.c_str());
  std::printf("blocks: %zu, writer runs: %zu, texts: %zu, parameter lists: %zu, lines: %zu\n",
              c.blocks, c.versions, c.texts.size(), c.param_lists.size(), c.lines.size());
  for (const rtf::RecordedText& t : c.texts) {
    std::printf("text at %llu:\n", static_cast<unsigned long long>(t.offset));
    for (const auto& [k, v] : t.values) std::printf("  %s = %s\n", k.c_str(), v.c_str());
  }
  for (std::size_t i = 0; i < c.param_lists.size(); ++i) {
    std::string ids;
    for (const rtf::RecordedParam& p : *c.param_lists[i]) {
      ids += (ids.empty() ? "" : ", ") + p.identifier + (p.unit.empty() ? "" : " [" + p.unit + "]");
    }
    std::printf("parameters %zu (%zu): %s\n", i + 1, c.param_lists[i]->size(), ids.c_str());
  }
  if (!c.lines.empty()) {
    const auto [tmin, tmax] =
        std::minmax_element(c.lines.begin(), c.lines.end(),
                            [](const auto& a, const auto& b) { return a.line.time < b.line.time; });
    const auto [dmin, dmax] = std::minmax_element(
        c.lines.begin(), c.lines.end(),
        [](const auto& a, const auto& b) { return a.line.first_depth < b.line.first_depth; });
    std::printf("time: %s .. %s\n", time_text(tmin->line.time).c_str(),
                time_text(tmax->line.time).c_str());
    std::printf("depth: %s .. %s m\n", number(dmin->line.first_depth).c_str(),
                number(dmax->line.first_depth).c_str());
  }
  if (!c.problems.empty()) {
    std::printf("damaged: %zu place(s)%s, listed on stderr\n", c.problems.size(),
                c.cut_at_end ? ", the last block is cut" : "");
  }
  return c.problems.empty() ? 0 : kExitDamaged;
}

int run_dump(const RecArgs& args) {
  rtf::RecordingContents c;
  if (!load(args.file, c)) return kExitUnreadable;
  const char* sep = args.csv ? ";" : " ";
  const std::vector<rtf::RecordedParam>* header = nullptr;
  std::string out;
  for (const rtf::RecordedLine& l : c.lines) {
    if (args.csv && header != l.params.get()) {
      // A new header row wherever the parameter list changes.
      header = l.params.get();
      out += "time;first_depth;bit_depth;third_depth;operation";
      for (const rtf::RecordedParam& p : *header) out += ";" + p.identifier;
      out += "\n";
    }
    out += time_text(l.line.time);
    out += fmt::format("{}{}{}{}{}{}{}{}", sep, number(l.line.first_depth), sep,
                       number(l.line.bit_depth), sep, number(l.line.third_depth), sep,
                       static_cast<int>(l.line.operation));
    for (std::size_t i = 0; i < l.line.values.size(); ++i) {
      out += sep;
      if (!args.csv) out += (*l.params)[i].identifier + "=";
      out += number(l.line.values[i]);
    }
    out += "\n";
    if (out.size() > (1u << 20)) {
      std::fputs(out.c_str(), stdout);
      out.clear();
    }
  }
  std::fputs(out.c_str(), stdout);
  return c.problems.empty() ? 0 : kExitDamaged;
}

int run_export(const RecArgs& args) {
  rtf::RecordingContents c;
  if (!load(args.file, c)) return kExitUnreadable;
  rtf::LasOptions o;
  // Time files are indexed by time, the depth and lag files by depth.
  o.by_time = ends_with(args.file, rtf::kTimeSuffix);
  for (std::size_t start = 0; start <= args.params.size() && !args.params.empty();) {
    std::size_t comma = args.params.find(',', start);
    if (comma == std::string::npos) comma = args.params.size();
    if (comma > start) o.params.push_back(args.params.substr(start, comma - start));
    start = comma + 1;
  }
  if (c.lines.size() >= 2 * o.progress_every) {
    o.progress = [](std::size_t done, std::size_t total) {
      std::fprintf(stderr, "export: %zu of %zu lines\n", done, total);
    };
  }
  const rtf::LasResult las = rtf::export_las(c, o);
  for (const std::string& p : las.unknown_params) {
    std::fprintf(stderr, "export: %s holds no parameter '%s'; it is left out\n", args.file.c_str(),
                 p.c_str());
  }
  try {
    lib::write_file_atomically(args.las, las.text, lib::posix_file_system());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "export: %s\n", e.what());
    return kExitUnreadable;
  }
  std::fprintf(stderr, "export: %zu lines of %s written to %s (LAS 2.0, indexed by %s)\n",
               c.lines.size(), args.file.c_str(), args.las.c_str(), o.by_time ? "time" : "depth");
  return c.problems.empty() && las.unknown_params.empty() ? 0 : kExitDamaged;
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
  exp->add_option("--las", args->las, "the LAS file to write")->required();
  exp->add_option("--params", args->params,
                  "comma-separated identifiers of the parameters to export, in this order");
  exp->callback([args] {
    if (const int rc = run_export(*args); rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("rec", add_rec_command);
