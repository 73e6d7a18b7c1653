// Sweeps of file-system faults over one operation: it runs once cleanly, once with every
// write cut short, then once with each of the calls it made failing in turn. What a writer
// promises (nothing acknowledged is lost, the old file survives a failed save) is checked
// after each run, so no failing call is left untried.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/fakes.h"

namespace testing_support {

// How one run of a sweep disturbs the file system.
struct FileFault {
  long long fail_call = -1;  // the number of the call that fails, -1 for none
  bool short_writes = false;

  bool any() const { return fail_call >= 0 || short_writes; }
  // Starts counting the calls of the operation under test on `fs`, with this fault armed.
  void arm(FaultyFileSystem& fs) const {
    fs.calls = 0;
    fs.failed_call.clear();
    fs.fail_call = fail_call;
    fs.short_writes = short_writes;
  }
};

// Ends the disturbance; the number of calls made since arm.
inline long long disarm(FaultyFileSystem& fs) {
  fs.fail_call = -1;
  fs.short_writes = false;
  return fs.calls;
}

// `run` sets up afresh, arms the fault on its file system just before the operation under
// test, runs it, disarms and checks what must hold, and returns the calls the operation made.
// It runs once without a fault, once with every write cut short (a write takes half of what
// it is given), then once for each call of that run failing in turn, writes still cut short:
// a failing write then follows a partial one, as on a disk that fills up. Each run is traced
// with its fault, so a failure names the call that broke the promise.
inline void sweep_file_faults(const std::function<long long(const FileFault&)>& run) {
  {
    SCOPED_TRACE("no fault");
    run(FileFault{});
  }
  long long calls = 0;
  {
    SCOPED_TRACE("every write short");
    calls = run(FileFault{-1, true});
  }
  ASSERT_GT(calls, 0) << "the operation made no file-system call";
  for (long long n = 0; n < calls; ++n) {
    SCOPED_TRACE("file-system call " + std::to_string(n) + " of " + std::to_string(calls) +
                 " fails, every write short");
    EXPECT_GT(run(FileFault{n, true}), n) << "the failing call was never reached";
  }
}

}  // namespace testing_support
