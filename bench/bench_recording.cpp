// The recorder against the disk and the reader against memory, each as a ratio to the plain
// operation on the same bytes measured in the same run (docs/performance.md):
//   BM_RecorderLines vs BM_RawSequentialWrite: values lines of 100 parameters written by the
//     recorder (one task a line, as the station queues them) against write() of the very
//     bytes the recorder produced, 64 KiB at a time;
//   BM_ReadRecording and BM_ExportLas vs BM_CachedRead: reading the lines back, and the LAS
//     export, against reading the cached file into memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
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

// Writes kLines lines with the recorder into `file`; the file's bytes.
std::string write_with_recorder(const std::string& file) {
  static params::AllParams catalogue{folder(), lib::posix_file_system()};
  static ds_tmp::DataStorage storage{catalogue};
  rtf::RealTimeFile rec(storage, catalogue);
  const rtf::ParamList list = params();
  for (int i = 0; i < kLines; ++i) {
    auto task = std::make_shared<rtf::Records>();
    task->file = file;
    rtf::ValuesLine line;
    line.time = static_cast<std::uint32_t>(i);
    line.first_depth = 1000 + 0.1f * static_cast<float>(i);
    line.values.assign(kParams, static_cast<float>(i));
    task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, list));
    rec.queue_task(task);
    if (rec.get_queue_size() >= 1000) rec.write_pending();
  }
  rec.write_pending();
  return *lib::read_whole_file(file, lib::posix_file_system(), std::size_t{1} << 30);
}

void BM_RecorderLines(benchmark::State& state) {
  const std::string file = folder() + "recorder.realtim";
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::filesystem::remove(file);
    bytes = write_with_recorder(file).size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kLines,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecorderLines)->Unit(benchmark::kMillisecond);

void BM_RawSequentialWrite(benchmark::State& state) {
  std::filesystem::remove(folder() + "raw_source.realtim");
  const std::string bytes = write_with_recorder(folder() + "raw_source.realtim");
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
    write_with_recorder(f);
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

void BM_ReadRecording(benchmark::State& state) {
  std::size_t n = 0;
  for (auto _ : state) {
    auto bytes = lib::read_whole_file(recorded_file(), lib::posix_file_system(), 1u << 30);
    n = bytes->size();
    const rtf::RecordingContents c = rtf::read_recording(*bytes);
    benchmark::DoNotOptimize(c.lines.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ReadRecording)->Unit(benchmark::kMillisecond);

void BM_ExportLas(benchmark::State& state) {
  std::size_t n = 0;
  for (auto _ : state) {
    auto bytes = lib::read_whole_file(recorded_file(), lib::posix_file_system(), 1u << 30);
    n = bytes->size();
    const rtf::LasResult las = rtf::export_las(rtf::read_recording(*bytes), {});
    benchmark::DoNotOptimize(las.text.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ExportLas)->Unit(benchmark::kMillisecond);

}  // namespace
