// rigstation wits serve / wits dump: a WITS level 0 sender to try a station without a rig
// (records from another sender's capture, from one of our run recordings, or a synthetic rig
// drilling ahead), and a reader that prints what a sender sends, with the item names of a
// WITS dictionary.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "lib/file_system.h"
#include "storage/real_time_reader.h"
#include "web/query.h"
#include "wits/tcp_byte_source.h"
#include "wits/wits0_dump.h"
#include "wits/wits0_frames.h"
#include "wits/wits0_server.h"
#include "wits/wits_dictionary.h"
#include "wits/wits_dictionary_format.h"
#include "wits/wits_out_format.h"
#include "wits/wits_out_list.h"

namespace {

constexpr int kExitBadInput = 1;
constexpr int kExitNetwork = 2;

std::atomic<bool> g_stop{false};

void on_signal(int) {
  g_stop = true;
}

struct ServeArgs {
  std::string listen;  // [HOST:]PORT
  std::string file;
  std::string recording;
  std::string map;
  bool synthetic = false;
  int period_ms = 1000;
  int keep_alive_ms = 10000;
  int seconds = 0;
};

struct DumpArgs {
  std::string target;
  std::string dict;
  int count = 0;
  int timeout_ms = 20000;
};

// The frames to send, one step of them per period.
class Source {
 public:
  virtual ~Source() = default;
  // The frames of the next period; empty when the source has ended.
  virtual std::vector<std::string> next() = 0;
};

// Frames of a capture, one a period, round and round.
class CaptureSource : public Source {
 public:
  explicit CaptureSource(std::vector<std::string> frames) : frames_(std::move(frames)) {}
  std::vector<std::string> next() override {
    if (frames_.empty()) return {};
    std::vector<std::string> out{frames_[pos_]};
    pos_ = (pos_ + 1) % frames_.size();
    return out;
  }

 private:
  std::vector<std::string> frames_;
  std::size_t pos_ = 0;
};

class SyntheticSource : public Source {
 public:
  std::vector<std::string> next() override { return rig_.next(); }

 private:
  wits::SyntheticDrilling rig_;
};

// The lines of a run recording, one a period, round and round: the depths in record 1
// (0110 hole depth, 0108 bit depth, 0139 lag depth) and the parameters of the list.
class RecordingSource : public Source {
 public:
  RecordingSource(rtf::RecordingContents contents, std::vector<wits::OutEntry> list)
      : contents_(std::move(contents)), list_(std::move(list)) {}
  std::vector<std::string> next() override {
    if (contents_.lines.empty()) return {};
    const rtf::RecordedLine& line = contents_.lines[pos_];
    pos_ = (pos_ + 1) % contents_.lines.size();
    std::map<int, wits::FrameItems> records;
    records[1].emplace_back(8, wits::value_text(line.line.bit_depth));
    records[1].emplace_back(10, wits::value_text(line.line.first_depth));
    records[1].emplace_back(39, wits::value_text(line.line.third_depth));
    for (const wits::OutEntry& entry : list_) {
      if (!line.params) continue;
      for (std::size_t i = 0; i < line.params->size() && i < line.line.values.size(); ++i) {
        if ((*line.params)[i].identifier != entry.identifier) continue;
        records[entry.record].emplace_back(entry.item, wits::value_text(line.line.values[i]));
        break;
      }
    }
    std::vector<std::string> frames;
    for (const auto& [record, items] : records) frames.push_back(wits::make_frame(record, items));
    return frames;
  }

 private:
  rtf::RecordingContents contents_;
  std::vector<wits::OutEntry> list_;
  std::size_t pos_ = 0;
};

std::optional<std::string> read_file(const std::string& path, const char* what) {
  auto bytes = lib::read_whole_file(path, lib::posix_file_system());
  if (!bytes) {
    std::fprintf(stderr, "wits: cannot read the %s '%s': %s\n", what, path.c_str(),
                 lib::read_failure_text(errno).c_str());
  }
  return bytes;
}

std::unique_ptr<Source> make_source(const ServeArgs& args, const std::string& home) {
  if (!args.file.empty()) {
    const auto bytes = read_file(args.file, "capture");
    if (!bytes) return nullptr;
    wits::CaptureFrames c = wits::frames_from_capture(*bytes);
    if (c.frames.empty()) {
      std::fprintf(stderr, "wits: '%s' holds no WITS record (no \"&&\" line followed by items)\n",
                   args.file.c_str());
      return nullptr;
    }
    std::fprintf(stderr, "wits: %zu records, %zu items from %s", c.frames.size(), c.items,
                 args.file.c_str());
    if (c.skipped_lines > 0)
      std::fprintf(stderr, " (%zu lines that are not items left out)", c.skipped_lines);
    std::fprintf(stderr, "\n");
    return std::make_unique<CaptureSource>(std::move(c.frames));
  }
  if (!args.recording.empty()) {
    const auto bytes = read_file(args.recording, "recording");
    if (!bytes) return nullptr;
    rtf::RecordingContents contents = rtf::read_recording(*bytes);
    for (const rtf::ReadProblem& p : contents.problems)
      std::fprintf(stderr, "%s\n", rtf::problem_text(args.recording, p).c_str());
    if (contents.lines.empty()) {
      std::fprintf(stderr, "wits: '%s' holds no readable values line\n", args.recording.c_str());
      return nullptr;
    }
    std::vector<wits::OutEntry> list;
    const std::string map =
        args.map.empty() ? home + std::string(wits::out_format::kFileName) : args.map;
    if (lib::missing(lib::posix_file_system(), map) && args.map.empty()) {
      std::fprintf(stderr, "wits: no %s in the home: only the depths are sent\n", map.c_str());
    } else {
      const auto text = read_file(map, "parameter list");
      if (!text) return nullptr;
      wits::OutList parsed = wits::parse_out_list(*text, map);
      for (const std::string& p : parsed.problems) std::fprintf(stderr, "wits: %s\n", p.c_str());
      list = std::move(parsed.entries);
    }
    std::fprintf(stderr, "wits: %zu lines from %s\n", contents.lines.size(),
                 args.recording.c_str());
    return std::make_unique<RecordingSource>(std::move(contents), std::move(list));
  }
  return std::make_unique<SyntheticSource>();
}

int run_serve(const ServeArgs& args, const std::string& home) {
  std::string error;
  const auto listen = web::parse_listen_address(args.listen, error);
  if (!listen || listen->port == 0) {
    std::fprintf(
        stderr, "wits serve: --port %s\n",
        listen ? ("'" + args.listen + "' names no port from 1 to 65535").c_str() : error.c_str());
    return kExitBadInput;
  }
  const std::unique_ptr<Source> source = make_source(args, home);
  if (!source) return kExitBadInput;
  wits::Wits0ServerOptions options;
  options.address = listen->host;
  options.port = static_cast<int>(listen->port);
  options.keep_alive = std::chrono::milliseconds(args.keep_alive_ms);
  wits::Wits0Server server(
      options, [](const std::string& line) { std::fprintf(stderr, "wits: %s\n", line.c_str()); });
  if (const auto error = server.start()) {
    std::fprintf(stderr, "wits: %s\n", error->c_str());
    return kExitNetwork;
  }
  std::fprintf(stderr, "wits: serving on %s:%d, a step every %d ms\n", options.address.c_str(),
               server.port(), args.period_ms);
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  const auto period = std::chrono::milliseconds(args.period_ms);
  const auto started = std::chrono::steady_clock::now();
  auto next = started;
  while (!g_stop) {
    std::string bytes;
    for (const std::string& frame : source->next()) bytes += frame;
    server.publish(std::move(bytes));
    next += period;
    if (args.seconds > 0 && next - started >= std::chrono::seconds(args.seconds)) break;
    while (!g_stop && std::chrono::steady_clock::now() < next)
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          next - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
  }
  server.stop();
  std::fprintf(stderr, "wits: stopped; %llu clients served, %llu dropped for not reading\n",
               static_cast<unsigned long long>(server.accepted_count()),
               static_cast<unsigned long long>(server.dropped_count()));
  return 0;
}

int run_dump(const DumpArgs& args, const std::string& home) {
  const std::size_t colon = args.target.rfind(':');
  int port = 0;
  if (colon != std::string::npos) port = std::atoi(args.target.c_str() + colon + 1);
  if (colon == std::string::npos || colon == 0 || port < 1 || port > 65535) {
    std::fprintf(stderr, "wits dump: '%s' is not HOST:PORT (such as 127.0.0.1:27911)\n",
                 args.target.c_str());
    return kExitBadInput;
  }
  const std::string host = args.target.substr(0, colon);
  std::optional<wits::WitsDictionary> dict;
  const std::string dict_file =
      args.dict.empty() ? home + std::string(wits::dictionary_format::kHomeFileName) : args.dict;
  if (!args.dict.empty() || !lib::missing(lib::posix_file_system(), dict_file)) {
    const auto bytes = read_file(dict_file, "WITS dictionary");
    if (!bytes) return kExitBadInput;
    dict = wits::WitsDictionary::parse(*bytes, dict_file);
    for (const std::string& p : dict->problems())
      std::fprintf(stderr, "wits dump: %s\n", p.c_str());
  } else {
    std::fprintf(stderr,
                 "wits dump: no dictionary (--dict, or %s in the home): items without names\n",
                 dict_file.c_str());
  }
  wits::TcpByteSource source{std::chrono::milliseconds(args.timeout_ms)};
  if (const auto error = source.connect(host, port)) {
    std::fprintf(stderr, "wits dump: cannot connect to %s: %s\n", args.target.c_str(),
                 error->c_str());
    return kExitNetwork;
  }
  const int printed =
      wits::dump_frames(source, dict ? &*dict : nullptr, args.count, [](const std::string& s) {
        std::fputs(s.c_str(), stdout);
        std::fflush(stdout);
      });
  if (args.count > 0 && printed < args.count) {
    std::fprintf(stderr, "wits dump: the stream stopped after %d of %d records\n", printed,
                 args.count);
    return kExitNetwork;
  }
  return 0;
}

void add_wits_command(CLI::App& app, rigstation::CommandContext& context) {
  CLI::App* wits = app.add_subcommand("wits", "WITS level 0: send test records, print a stream");
  wits->require_subcommand(1);

  auto serve_args = std::make_shared<ServeArgs>();
  CLI::App* serve = wits->add_subcommand(
      "serve",
      "A WITS level 0 server: sends records from a capture, from a run recording, or from a "
      "synthetic rig drilling ahead (the default) to every client, one step each period");
  serve
      ->add_option("--port", serve_args->listen,
                   "Where to listen: PORT on 127.0.0.1 (this machine only), or HOST:PORT")
      ->required();
  auto* file = serve
                   ->add_option("--file", serve_args->file,
                                "A WITS0 capture: its records, one a period, round and round")
                   ->check(CLI::ExistingFile);
  auto* rec = serve
                  ->add_option("--recording", serve_args->recording,
                               "A run recording (.realtim): its lines, one a period (depths, "
                               "and the parameters of --map)")
                  ->check(CLI::ExistingFile);
  auto* syn = serve->add_flag("--synthetic", serve_args->synthetic,
                              "A synthetic rig drilling ahead: records 1 and 8 each period");
  file->excludes(rec)->excludes(syn);
  rec->excludes(syn);
  serve->add_option("--map", serve_args->map,
                    "With --recording: the parameter -> code list (default: the home's "
                    "wits_out.cfg)");
  serve
      ->add_option("--period", serve_args->period_ms,
                   "Milliseconds between two steps (default 1000)")
      ->check(CLI::Range(1, 3600000));
  serve
      ->add_option("--keep-alive", serve_args->keep_alive_ms,
                   "An empty record after this many ms without data (default 10000; 0: none)")
      ->check(CLI::Range(0, 3600000));
  serve
      ->add_option("--seconds", serve_args->seconds,
                   "Stop after this many seconds (0: run until stopped)")
      ->check(CLI::Range(0, 100000000));
  serve->callback([&context, serve_args] {
    if (const int rc = run_serve(*serve_args, context.home()); rc != 0) throw CLI::RuntimeError(rc);
  });

  auto dump_args = std::make_shared<DumpArgs>();
  CLI::App* dump = wits->add_subcommand(
      "dump", "Print the records a WITS level 0 server sends, with the item names of a dictionary");
  dump->add_option("target", dump_args->target, "HOST:PORT of the server")->required();
  dump->add_option("--dict", dump_args->dict,
                   "WITS dictionary CSV (default: the home's wits0_dictionary.csv when there)");
  dump->add_option("--count", dump_args->count, "Stop after this many records (0: until stopped)")
      ->check(CLI::Range(0, 100000000));
  dump->add_option("--timeout", dump_args->timeout_ms,
                   "Milliseconds to wait for the connection and for each byte (default 20000)")
      ->check(CLI::Range(1, 3600000));
  dump->callback([&context, dump_args] {
    if (const int rc = run_dump(*dump_args, context.home()); rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("wits", add_wits_command);
