// Publishes the station's live frame (storage/live_frame_format.h) into the home every
// live::kPeriodMs of the station's clock: the values of the table with their stale, alarm and
// validity marks, the depths, the operation, the current alarms and the run. Programs beside
// the station (the office forwarder) read it; it is not the station's state and is never
// flushed to disk on purpose. Rewritten in place while its size holds (lib::RewrittenFile):
// readers check its length and CRC and read again (live::read_live_frame).
//
// Best-effort: a frame that cannot be written is reported once in the error log (and once
// more when writing works again); the tick goes on. Not thread-safe: the station's tick
// thread calls publish().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/rewritten_file.h"
#include "storage/live_frame.h"

namespace station {

class Station;

class LiveFramePublisher {
 public:
  using ErrorSink = std::function<void(const std::string&)>;
  LiveFramePublisher(const Station& station, std::string path, lib::FileSystem& fs,
                     lib::Clock& clock, ErrorSink errors);

  // Writes a frame when the last one is live::kPeriodMs old (or none was written).
  void publish();
  // The frame of the station as it is now.
  live::LiveFrame frame() { return refresh(); }
  const std::string& path() const { return file_.path(); }

 private:
  // Brings the kept frame up to the station's present and returns it.
  const live::LiveFrame& refresh();

  const Station& station_;
  lib::RewrittenFile file_;
  lib::Clock& clock_;
  ErrorSink errors_;
  // Lays the frame out again only when its rows' texts or the operation's name changed;
  // otherwise rewrites its numbers and alarms in the bytes kept from the last write.
  const std::string& bytes_of(const live::LiveFrame& f);

  live::LiveFrame frame_;
  std::uint64_t table_version_ = 0;  // of the rows' names in frame_
  // The last frame's bytes, where its changing parts lie in them, and the operation's name
  // they were laid out with.
  std::string bytes_;
  live::LiveFrameLayout layout_;
  bool names_changed_ = true;
  std::string laid_operation_name_;
  std::uint32_t sequence_ = 0;
  std::int64_t last_ms_ = 0;
  bool written_ = false;
  bool failing_ = false;
};

}  // namespace station
