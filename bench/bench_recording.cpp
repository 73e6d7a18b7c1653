// The recorder against the disk and the reader against memory, each as a ratio to the plain
// operation on the same bytes measured in the same run (docs/performance.md):
//   BM_RecorderLines vs BM_RawSequentialWrite: values lines of 100 parameters written by the
//     recorder (one task a line, as the station queues them) against write() of the very
//     bytes the recorder produced, 64 KiB at a time;
//   BM_ReadRecording and BM_ExportLas vs BM_CachedRead: reading the lines back (streamed in
//     chunks), and the LAS export, against reading the cached file into memory;
//   BM_FormatValuesOnly: formatting the same values as text and nothing else, the floor of
//     any text export.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fmt/compile.h>
#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>

#include "lib/file_system.h"
#include "params/all_params.h"
#include "storage/data_storage.h"
#include "storage/las_export.h"
#include "storage/real_time_file.h"
#include "storage/real_time_reader.h"

namespace {

constexpr int kParams = 100;
constexpr int kLines = 20000;

// A scratch folder removed when the program ends.
struct Scratch {
  std::string path;
  Scratch() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "rigcore-bench-XXXXXX").string();
    path = std::string(::mkdtemp(tmpl.data())) + "/";
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

std::string folder() {
  static const Scratch scratch;
  return scratch.path;
}

rtf::ParamList params() {
  auto list = std::make_shared<std::vector<rtf::RecordedParam>>();
  for (int i = 0; i < kParams; ++i) {
    const std::string id = "параметр_" + std::to_string(i);
    list->push_back({"Параметр " + std::to_string(i), "ед", id, id, 0, 100});
  }
  return list;
}

params::AllParams& catalogue() {
  static params::AllParams c{folder(), lib::posix_file_system()};
  return c;
}

ds_tmp::DataStorage& storage() {
  static ds_tmp::DataStorage s{catalogue()};
  return s;
}

// Values lines `first`.. for `file`, one task a line, as the station queues them.
std::vector<std::shared_ptr<const rtf::Records>> make_tasks(const std::string& file, int first = 0,
                                                            int count = kLines) {
  static const rtf::ParamList list = params();
  std::vector<std::shared_ptr<const rtf::Records>> tasks;
  tasks.reserve(static_cast<std::size_t>(count));
  for (int i = first; i < first + count; ++i) {
    auto task = std::make_shared<rtf::Records>();
    task->file = file;
    rtf::ValuesLine line;
    line.time = static_cast<std::uint32_t>(i);
    line.first_depth = 1000 + 0.1f * static_cast<float>(i);
    // Readings with decimals, as a rig gives them, so that their text is of a real length.
    line.values.resize(kParams);
    for (int p = 0; p < kParams; ++p) {
      line.values[static_cast<std::size_t>(p)] =
          static_cast<float>(p * 13 % 400) + 0.01f * static_cast<float>((i * 7 + p) % 1000);
    }
    task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(std::move(line), list));
    tasks.push_back(std::move(task));
  }
  return tasks;
}

// Queues the tasks into a recorder and has it write them, a thousand queued at a time; the
// file's size.
std::size_t write_with_recorder(const std::string& file,
                                const std::vector<std::shared_ptr<const rtf::Records>>& tasks) {
  rtf::RealTimeFile rec(storage(), catalogue(), lib::posix_file_system(), lib::system_clock());
  for (const auto& task : tasks) {
    rec.queue_task(task);
    if (rec.get_queue_size() >= 1000) rec.write_pending();
  }
  rec.write_pending();
  return static_cast<std::size_t>(std::filesystem::file_size(file));
}

// The writer's own work: queued lines into the file (queueing, blocks, the appends). The
// lines are built a thousand at a time outside the timing, just before they are queued, as
// the writer thread finds them shortly after the tick made them.
void BM_RecorderLines(benchmark::State& state) {
  const std::string file = folder() + "recorder.realtim";
  constexpr int kChunk = 1000;
  std::size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(file);
    {
      rtf::RealTimeFile rec(storage(), catalogue(), lib::posix_file_system(), lib::system_clock());
      for (int at = 0; at < kLines; at += kChunk) {
        auto tasks = make_tasks(file, at, kChunk);
        state.ResumeTiming();
        for (auto& task : tasks) rec.queue_task(std::move(task));
        rec.write_pending();
        state.PauseTiming();
      }
    }
    bytes = static_cast<std::size_t>(std::filesystem::file_size(file));
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecorderLines)->Unit(benchmark::kMillisecond);

// The same with each line's task built in the loop (the producer's share, on the tick's
// thread in the station) and freed once written.
void BM_RecorderLinesBuiltAndWritten(benchmark::State& state) {
  const std::string file = folder() + "recorder_built.realtim";
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::filesystem::remove(file);
    bytes = write_with_recorder(file, make_tasks(file));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecorderLinesBuiltAndWritten)->Unit(benchmark::kMillisecond);

void BM_RawSequentialWrite(benchmark::State& state) {
  std::filesystem::remove(folder() + "raw_source.realtim");
  write_with_recorder(folder() + "raw_source.realtim", make_tasks(folder() + "raw_source.realtim"));
  const std::string bytes = *lib::read_whole_file(folder() + "raw_source.realtim",
                                                  lib::posix_file_system(), std::size_t{1} << 30);
  const std::string file = folder() + "raw.realtim";
  for (auto _ : state) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // In pieces of 64 KiB, as a buffered stream writes.
    constexpr std::size_t kPiece = 64 * 1024;
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
      lib::write_all(lib::posix_file_system(), fd, bytes.data() + at,
                     std::min(kPiece, bytes.size() - at));
    }
    ::close(fd);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_RawSequentialWrite)->Unit(benchmark::kMillisecond);

const std::string& recorded_file() {
  static const std::string file = [] {
    const std::string f = folder() + "read.realtim";
    write_with_recorder(f, make_tasks(f));
    return f;
  }();
  return file;
}

void BM_CachedRead(benchmark::State& state) {
  std::size_t n = 0;
  for (auto _ : state) {
    auto bytes = lib::read_whole_file(recorded_file(), lib::posix_file_system(), 1u << 30);
    n = bytes->size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_CachedRead)->Unit(benchmark::kMillisecond);

// The streaming reader through the file, each line's values touched.
void BM_ReadRecording(benchmark::State& state) {
  struct Sum final : rtf::RecordingVisitor {
    double sum = 0;
    std::size_t lines = 0;
    void on_line(const rtf::LineView& l) override {
      ++lines;
      for (std::size_t i = 0; i < l.count; ++i) sum += l.value(i);
    }
  };
  std::uint64_t n = 0;
  for (auto _ : state) {
    Sum sum;
    n = rtf::scan_recording_file(recorded_file(), lib::posix_file_system(), sum).bytes;
    if (sum.lines != kLines) state.SkipWithError("lines lost");
    benchmark::DoNotOptimize(sum.sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ReadRecording)->Unit(benchmark::kMillisecond);

// The whole export, two passes over the file, the LAS text into memory a megabyte at a
// time (not to disk: the comparison is with a read).
void BM_ExportLas(benchmark::State& state) {
  std::size_t n = 0;
  std::size_t text = 0;
  rtf::LasOptions o;
  o.by_time = true;
  for (auto _ : state) {
    text = 0;
    const rtf::LasResult las =
        rtf::export_las_file(recorded_file(), lib::posix_file_system(), o,
                             [&](std::string_view piece) { text += piece.size(); });
    if (las.lines != kLines) state.SkipWithError("lines lost");
    n = static_cast<std::size_t>(std::filesystem::file_size(recorded_file()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
  state.counters["LAS bytes"] = static_cast<double>(text);
}
BENCHMARK(BM_ExportLas)->Unit(benchmark::kMillisecond);

// The floor of any text export: the same values formatted as the shortest text that reads
// back exactly (what the export writes), into memory, with nothing else done.
void BM_FormatValuesOnly(benchmark::State& state) {
  const auto tasks = make_tasks(folder() + "format.realtim");
  fmt::memory_buffer b;
  for (auto _ : state) {
    b.clear();
    std::size_t total = 0;
    for (const auto& task : tasks) {
      const auto& line = static_cast<const rtf::ValuesWriterRecord&>(*task->records.front()).line();
      for (float v : line.values) {
        fmt::format_to(std::back_inserter(b), FMT_COMPILE(" {}"), v);
      }
      b.push_back('\n');
      if (b.size() >= (1u << 20)) {
        total += b.size();
        b.clear();
      }
    }
    benchmark::DoNotOptimize(total);
  }
}
BENCHMARK(BM_FormatValuesOnly)->Unit(benchmark::kMillisecond);

// A month of time lines (one a second for 30 days, 2 592 000 lines) of 100 parameters made by
// the recorder, then exported to a LAS file on disk the way `rigstation rec export` does it,
// once. The counters give the wall time of the export, the file sizes and the highest
// resident memory while exporting. Skipped when the scratch disk has less than 8 GiB free.
constexpr int kMonthLines = 30 * 86400;

// The peak resident memory of the process, in MiB; reset_peak() starts a new measurement.
bool reset_peak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (!f) return false;
  const bool ok = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && ok;
}
double peak_mib() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  double kib = -1;
  while (std::fgets(line, sizeof line, f)) {
    if (std::sscanf(line, "VmHWM: %lf kB", &kib) == 1) break;
  }
  std::fclose(f);
  return kib / 1024;
}

void BM_ExportMonthOfTimeLines(benchmark::State& state) {
  if (std::filesystem::space(folder()).available < (std::uintmax_t{8} << 30)) {
    state.SkipWithError("less than 8 GiB free for the month's files");
    return;
  }
  const std::string file = folder() + "month.realtim";
  const std::string las = folder() + "month.las";
  {
    rtf::RealTimeFile rec(storage(), catalogue(), lib::posix_file_system(), lib::system_clock());
    for (int at = 0; at < kMonthLines; at += 10000) {
      for (auto& task : make_tasks(file, at, std::min(10000, kMonthLines - at))) {
        rec.queue_task(std::move(task));
      }
      rec.write_pending();
    }
  }
  const bool peak_reset = reset_peak();
  rtf::LasOptions o;
  o.by_time = true;
  rtf::LasResult r;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    r = rtf::export_las_to_file(file, las, lib::posix_file_system(), o);
  }
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  if (r.lines != static_cast<std::size_t>(kMonthLines)) state.SkipWithError("lines lost");
  state.counters["lines"] = static_cast<double>(r.lines);
  state.counters["wall s"] = wall.count();
  state.counters["recording MiB"] =
      static_cast<double>(std::filesystem::file_size(file)) / (1 << 20);
  state.counters["LAS MiB"] = static_cast<double>(std::filesystem::file_size(las)) / (1 << 20);
  if (peak_reset) state.counters["peak RSS MiB"] = peak_mib();
  std::filesystem::remove(file);
  std::filesystem::remove(las);
}
BENCHMARK(BM_ExportMonthOfTimeLines)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
