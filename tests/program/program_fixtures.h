// Inputs shared by the program tests: recordings made by the recorder itself, and a free port
// with a dump that waits for the server started beside it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "golden_harness.h"
#include "params/all_params.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"
#include "support/fakes.h"
#include "wits/loopback_server.h"

namespace program_test {

inline rtf::ParamList hook_and_pressure() {
  return std::make_shared<std::vector<rtf::RecordedParam>>(std::vector<rtf::RecordedParam>{
      {"Вес на крюке", "т", "Вес", "вес_на_крюке", 0, 200},
      {"Давление на входе", "атм.", "Давл", "давление_на_входе", 0, 400}});
}

// Writes one writer run per entry of `runs`, the first starting with the text values (if
// any): each run is its lines, each line with the parameter list it was made against.
using Line = std::pair<rtf::ValuesLine, rtf::ParamList>;
inline std::string record(const testing_support::TempDir& dir, const std::string& name,
                          const rtf::KeyValueList& texts,
                          const std::vector<std::vector<Line>>& runs) {
  params::AllParams catalogue{dir.path(), lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  const std::string file = dir.file(name);
  for (std::size_t k = 0; k < runs.size(); ++k) {
    rtf::RealTimeFile rec(storage, catalogue, lib::posix_file_system(), lib::system_clock());
    if (k == 0 && !texts.empty()) rec.save_text_values(file, texts);
    for (const auto& [line, params] : runs[k]) {
      auto task = std::make_shared<rtf::Records>();
      task->file = file;
      task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, params));
      rec.queue_task(task);
    }
    rec.write_pending();
  }
  return file;
}

inline int free_port() {
  wits_testing::LoopbackServer probe;  // a port free a moment ago
  return probe.port();
}

// Runs `args` until the server beside it has started: a refused connection is tried again.
inline golden::Run run_when_served(const std::vector<std::string>& args,
                                   const std::string& workdir) {
  golden::Run run;
  for (int attempt = 0; attempt < 20; ++attempt) {
    run = golden::run_program(args, workdir);
    if (run.exit_code != 2 || !run.out.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return run;
}

}  // namespace program_test
