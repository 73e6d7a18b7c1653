#include "station/live_frame_publisher.h"

#include <string_view>
#include <tuple>

#include "core/shared_values_format.h"
#include "station/station.h"
#include "storage/live_frame_format.h"

namespace station {
namespace {

constexpr std::string_view folder_of(std::string_view path) {
  return path.substr(0, path.rfind('/') + 1);
}
// The frame moves with the shared-values file: readers look for both in one place.
static_assert(folder_of(reg::kvb::kFileName) == folder_of(live::kFileName),
              "the live frame is kept in the folder of data/kvb.dat");

}  // namespace

LiveFramePublisher::LiveFramePublisher(const Station& station, std::string path,
                                       lib::FileSystem& fs, lib::Clock& clock, ErrorSink errors)
    : station_(station), file_(std::move(path), fs), clock_(clock), errors_(std::move(errors)) {}

const live::LiveFrame& LiveFramePublisher::refresh() {
  live::LiveFrame& f = frame_;
  const lib::LocalTime now = lib::get_local_time(clock_);
  f.sequence = sequence_;
  f.time = static_cast<std::uint32_t>(now.seconds);
  f.milliseconds = static_cast<std::uint16_t>(now.milliseconds);
  // The rig as the last tick left it; the operation as it is now (an operator may have forced
  // another since).
  const TickFrame& tick = station_.frame();
  f.race = tick.race;
  f.race_active = tick.race_active;
  f.bottom = static_cast<float>(tick.depths.bottom);
  f.bit = static_cast<float>(tick.depths.bit);
  f.lag = static_cast<float>(tick.lag);
  f.block = static_cast<float>(tick.depths.block);
  std::tie(f.operation, f.operation_name) = station_.operation();
  // The rows' names change only with the table: taken again when the tick's frame says it
  // changed; otherwise only the values and marks are.
  if (table_version_ != tick.table_version || f.values.size() != tick.rows.size() ||
      f.values.size() != station_.row_count()) {
    f.values.clear();
    for (const RowView& r : station_.rows()) {
      f.values.push_back(
          {r.identifier, r.name, r.unit, static_cast<float>(r.value), r.stale, r.alarm, r.valid});
    }
    table_version_ = tick.table_version;
    names_changed_ = true;
  } else {
    for (std::size_t i = 0; i < f.values.size(); ++i) {
      live::FrameValue& v = f.values[i];
      const FrameRow& r = tick.rows[i];
      v.value = static_cast<float>(station_.row_value(static_cast<int>(i)));
      v.stale = r.stale();
      v.alarm = r.alarm;
      v.valid = r.valid;
    }
  }
  f.alarms = tick.alarms;
  return f;
}

const std::string& LiveFramePublisher::bytes_of(const live::LiveFrame& f) {
  if (names_changed_ || f.operation_name != laid_operation_name_ ||
      layout_.values.size() != f.values.size()) {
    bytes_ = live::encode_live_frame(f, &layout_);
    laid_operation_name_ = f.operation_name;
    names_changed_ = false;
  } else {
    try {
      live::update_live_frame(bytes_, f, layout_);
    } catch (...) {
      names_changed_ = true;  // the kept bytes are cut: laid out afresh next time
      throw;
    }
  }
  return bytes_;
}

void LiveFramePublisher::publish() {
  const std::int64_t now = clock_.steady_ms();
  if (written_ && now - last_ms_ < live::kPeriodMs) return;
  last_ms_ = now;
  written_ = true;
  ++sequence_;
  try {
    file_.write(bytes_of(refresh()));
    if (failing_) errors_("live frame: '" + file_.path() + "' is written again");
    failing_ = false;
  } catch (const std::exception& e) {
    if (!failing_) {
      errors_("live frame: " + std::string(e.what()) +
              "; programs beside the station do not see its values until it can be written");
    }
    failing_ = true;
  }
}

}  // namespace station
