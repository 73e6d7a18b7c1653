// An office database in memory for the forwarder's tests, keyed as the real one is (rig,
// run, kind, offset) and as strict: a line stored twice, or a shipment from a position the
// office does not hold, fails the test. It fails on command: the n-th open or shipment
// throws LinkError, before its commit or after it (the commit's answer lost on the way).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "office/office_db.h"
#include "support/fakes.h"

namespace office_test {

struct StoredLine {
  std::uint64_t params_at = 0;
  std::uint32_t time = 0;
  std::vector<float> values;
};

class FakeOfficeDb final : public office::OfficeDb {
 public:
  explicit FakeOfficeDb(testing_support::FakeClock& clock) : clock_(clock) {}

  // ---- what the office holds ----
  std::map<office::FileKey, office::FilePosition> positions;
  std::map<std::tuple<int, int, std::uint64_t>, StoredLine> lines;  // race, kind, offset
  std::map<std::tuple<int, int, std::uint64_t>, rtf::ParamList> param_lists;
  office::AlarmPosition alarm_position;
  std::vector<alarms::AlarmLogRecord> episodes;
  std::map<std::string, office::JournalSnapshot> journals;
  std::vector<live::LiveFrame> live_frames;  // every frame taken, in order
  office::LinkReport last_report;

  // ---- faults and what was asked ----
  int refuse_opens = 0;       // the next n opens fail
  int fail_shipment = 0;      // the n-th shipment (from 1) fails...
  bool after_commit = false;  // ...after its commit instead of before it
  int shipments = 0;
  std::vector<std::int64_t> open_attempts_ms;
  std::vector<std::pair<std::int64_t, std::uint64_t>> shipped_at;  // steady ms, bytes
  std::vector<std::size_t> shipment_lines;
  std::vector<std::int64_t> touches;  // steady ms of each sign of life with nothing to ship

  office::RigPositions open(const std::string&) override {
    open_attempts_ms.push_back(clock_.steady);
    if (refuse_opens > 0) {
      --refuse_opens;
      throw office::LinkError("connection refused");
    }
    connected_ = true;
    office::RigPositions p;
    p.files = positions;
    p.alarms = alarm_position;
    for (const auto& [name, j] : journals) p.journals[name] = j.stamp;
    return p;
  }
  void close() override { connected_ = false; }

  std::uint64_t ship(const office::Shipment& s) override {
    if (!connected_) throw office::LinkError("not connected");
    const bool fail = ++shipments == fail_shipment;
    if (fail && !after_commit) return cut();
    for (const office::FileBatch& f : s.files) {
      const auto it = positions.find(f.key);
      const office::FilePosition held = it == positions.end() ? office::FilePosition{} : it->second;
      if (held != f.from) throw office::PositionConflict("moved");
    }
    std::uint64_t bytes = 0;
    for (const office::FileBatch& f : s.files) {
      const int kind = static_cast<int>(f.key.kind);
      for (const office::ShippedParams& p : f.params)
        param_lists[{f.key.race, kind, p.offset}] = p.list;
      for (const office::ShippedLine& l : f.lines) {
        StoredLine stored{l.params_at,
                          l.time,
                          {f.values.begin() + static_cast<long>(l.first_value),
                           f.values.begin() + static_cast<long>(l.first_value + l.count)}};
        EXPECT_TRUE(param_lists.count({f.key.race, kind, l.params_at})) << "line without its list";
        EXPECT_TRUE(lines.emplace(std::make_tuple(f.key.race, kind, l.offset), stored).second)
            << "line at " << l.offset << " of " << f.file_name << " stored twice";
        bytes += 64 + 8 * l.count;
      }
      positions[f.key] = f.to;
    }
    if (s.alarms) {
      if (s.alarms->from != alarm_position) throw office::PositionConflict("alarms moved");
      for (const auto& e : s.alarms->episodes) {
        // The office keeps an episode once, by its start, parameter and threshold.
        const bool known = std::any_of(episodes.begin(), episodes.end(), [&](const auto& x) {
          return x.started == e.started && x.parameter == e.parameter && x.kind == e.kind &&
                 x.min == e.min && x.max == e.max;
        });
        if (!known) episodes.push_back(e);
      }
      alarm_position = s.alarms->to;
    }
    for (const auto& j : s.journals) journals[j.journal] = j;
    last_report = s.report;
    shipment_lines.push_back(s.lines());
    shipped_at.emplace_back(clock_.steady, bytes);
    if (fail) return cut();
    return bytes;
  }

  void touch(const office::LinkReport& r) override {
    if (!connected_) throw office::LinkError("not connected");
    touches.push_back(clock_.steady);
    last_report = r;
  }

  std::uint64_t put_live(const live::LiveFrame& f, const office::LinkReport& r) override {
    if (!connected_) throw office::LinkError("not connected");
    live_frames.push_back(f);
    last_report = r;
    return 1000;
  }

 private:
  std::uint64_t cut() {
    connected_ = false;
    throw office::LinkError("connection cut");
  }
  testing_support::FakeClock& clock_;
  bool connected_ = false;
};

}  // namespace office_test
