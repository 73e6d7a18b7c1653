// rigstation race [--json] [--home DIR]: the bit-run record and the run totals of a station
// home, read from its saved state "sys.bin" (the last save, while a station runs on the home):
// the run's number and settings, its start, how its time was spent, footage, pumped volume,
// rate of penetration, the stands in the hole and the run averages of the parameters.
// Exit 0 when the state was read, 1 when there is none or it cannot be read.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "calc/candle_counter.h"
#include "calc/race_info_old.h"
#include "calc/race_total.h"
#include "command_registry.h"
#include "core/system.h"
#include "json_output.h"
#include "lib/binary_stream.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/module_list.h"
#include "params/all_params.h"
#include "station/live_view.h"
#include "rig/rig_tracker.h"

namespace {

constexpr int kExitNoState = 1;

// The catalogue's identifiers, so the run averages can be named; nothing else is read.
class CatalogueNames : public calc::RaceSource {
 public:
  explicit CatalogueNames(const params::AllParams& catalogue) : catalogue_(catalogue) {}
  double bit_depth() const override { return 0; }
  double bottom_depth() const override { return 0; }
  std::int32_t operation() const override { return 0; }
  bool circulation_on() const override { return false; }
  int param_count() const override { return catalogue_.get_items_count(); }
  std::string_view param_identifier(int i) const override { return catalogue_.at(i).identifier; }
  bool param_average(int, double&) const override { return false; }
  double inlet_flow() const override { return 0; }
  double pump_strokes() const override { return 0; }
  std::int64_t now_seconds() const override { return 0; }

 private:
  const params::AllParams& catalogue_;
};

std::string time_text(std::int32_t seconds) {
  if (seconds == 0) return "-";
  return lib::format_date_time(lib::to_date_time(lib::LocalTime{seconds, 0}));
}

double hours(std::int32_t ticks) {
  return ticks / calc::RaceTotal::kTicksPerHour;
}

struct RaceOptions {
  bool json = false;
};

void show(const rigstation::CommandContext& context, const RaceOptions& options) {
  lib::FileSystem& fs = lib::posix_file_system();
  const std::string home = context.home();
  const std::string path = home + reg::kStateFileName;
  const auto bytes = lib::read_whole_file(path, fs);
  if (!bytes) {
    std::fprintf(stderr, "rigstation race: cannot read '%s': %s\n", path.c_str(),
                 lib::read_failure_text(errno).c_str());
    throw CLI::RuntimeError(kExitNoState);
  }
  params::AllParams catalogue(home, fs);
  CatalogueNames names(catalogue);
  calc::RaceTotal totals(&names);
  candles::CandleCounter stands;
  calc::RaceInfoOld record;
  rig::RigTrackerState tracker;
  lib::ModuleList list;
  list.register_module(totals, "RaceTotal");
  list.register_module(stands, "CandleCounter");
  list.register_module(record, calc::RaceInfoOld::kModuleName);
  list.register_module(tracker, rig::RigTrackerState::kModuleName);
  std::vector<std::string> problems;
  try {
    lib::io::BinaryMemoryInputStream in(*bytes);
    std::uint32_t version = 0;
    lib::io::read_binary(in, version);
    if (version != list.get_serial_version())
      throw lib::io::StreamError("not a state file of this program (frame version " +
                                 std::to_string(version) + ")");
    list.deserialize(in, reg::kStateDataVersion,
                     [&](const std::string& p) { problems.push_back(p); });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rigstation race: '%s' cannot be read: %s\n", path.c_str(), e.what());
    throw CLI::RuntimeError(kExitNoState);
  }
  // Only the blocks asked for are read; the others belong to modules this tool does not load.
  for (const std::string& p : problems)
    std::fprintf(stderr, "rigstation race: '%s': %s; what it held is shown as empty\n",
                 path.c_str(), p.c_str());

  std::vector<std::pair<std::string, double>> averages;
  for (int i = 0; i < names.param_count(); ++i) {
    const auto& acc = totals.accumulators();
    if (i >= static_cast<int>(acc.size()) || acc[static_cast<std::size_t>(i)].count == 0) continue;
    const std::string id(names.param_identifier(i));
    averages.emplace_back(id, totals.get_aver_value(id));
  }
  const bool stopped = totals.end_time() != 0 && totals.end_time() >= totals.start_time();

  if (options.json) {
    nlohmann::json j;
    j["file"] = path;
    j["run"] = {{"number", tracker.race},
                {"active", tracker.race_active},
                {"record_number", record.settings.race_number},
                {"bit_number", record.settings.bit_number},
                {"bit_diameter_mm", record.settings.bit_diameter},
                {"bit_type", record.settings.bit_type},
                {"drill_type", calc::get_drill_type_str(record.get_drill_type())},
                {"purpose", record.settings.purpose}};
    j["totals"] = {{"start_time", time_text(totals.start_time())},
                   {"end_time", stopped ? time_text(totals.end_time()) : "-"},
                   {"start_depth", totals.get_race_start()},
                   {"end_depth", stopped ? totals.end_depth() : totals.bottom_depth()},
                   {"footage", totals.get_prohodka()},
                   {"pumped_volume", totals.get_nasos_rastvor_volume()},
                   {"strokes_thousands", totals.get_nasos_summ_strokes()},
                   {"rop", totals.average_rop()},
                   {"race_rate", totals.get_race_rate()},
                   {"hours",
                    {{"registration", hours(totals.total_ticks())},
                     {"drilling", hours(totals.drilling_ticks())},
                     {"tripping", hours(totals.tripping_ticks())},
                     {"tripping_out", hours(totals.tripping_shallower_ticks())},
                     {"tripping_in", hours(totals.tripping_deeper_ticks())},
                     {"reaming", hours(totals.reaming_ticks())},
                     {"flushing", hours(totals.flushing_ticks())},
                     {"circulation", hours(totals.circulation_ticks())},
                     {"other", hours(totals.other_ticks())}}}};
    j["in_hole"] = {{"stands", stands.get()}, {"pipes", stands.get_pipe()}};
    nlohmann::json avg = nlohmann::json::object();
    for (const auto& [id, v] : averages) avg[id] = v;
    j["averages"] = avg;
    j["problems"] = problems;
    rigstation::print_json(j, 2);
    return;
  }
  std::printf("State: %s\n", path.c_str());
  std::printf("Run %d%s\n", tracker.race,
              tracker.race == 0     ? " (none started)"
              : tracker.race_active ? " (active)"
                                    : " (stopped)");
  std::printf("  bit %s, %.1f mm, %s; %s; purpose: %s\n", record.settings.bit_number.c_str(),
              record.settings.bit_diameter, record.settings.bit_type.c_str(),
              calc::get_drill_type_str(record.get_drill_type()).c_str(),
              record.settings.purpose.c_str());
  std::printf("  start %s at %.2f m; ", time_text(totals.start_time()).c_str(),
              totals.get_race_start());
  if (stopped) {
    std::printf("end %s at %.2f m\n", time_text(totals.end_time()).c_str(), totals.end_depth());
  } else {
    std::printf("not ended\n");
  }
  std::printf("  footage %.2f m, ROP %.1f m/h, run rate %.1f m/h\n", totals.get_prohodka(),
              totals.average_rop(), totals.get_race_rate());
  std::printf("  pumped %.2f m³, %.3f thousand strokes\n", totals.get_nasos_rastvor_volume(),
              totals.get_nasos_summ_strokes());
  std::printf(
      "  hours: registration %.2f, drilling %.2f, tripping %.2f (out %.2f, in %.2f), "
      "reaming %.2f, flushing %.2f, circulation %.2f, other %.2f\n",
      hours(totals.total_ticks()), hours(totals.drilling_ticks()), hours(totals.tripping_ticks()),
      hours(totals.tripping_shallower_ticks()), hours(totals.tripping_deeper_ticks()),
      hours(totals.reaming_ticks()), hours(totals.flushing_ticks()),
      hours(totals.circulation_ticks()), hours(totals.other_ticks()));
  std::printf("In the hole: %d stands, %d pipes\n", stands.get(), stands.get_pipe());
  if (!averages.empty()) {
    std::printf("Run averages:\n");
    for (const auto& [id, v] : averages) {
      const std::size_t width = station::text_width(id);
      std::printf("  %s%s %12.3f\n", id.c_str(),
                  std::string(width < 32 ? 32 - width : 0, ' ').c_str(), v);
    }
  }
}

void add_race(CLI::App& app, rigstation::CommandContext& context) {
  auto options = std::make_shared<RaceOptions>();
  CLI::App* cmd = app.add_subcommand(
      "race",
      "Show the bit-run record and the run totals (times, footage, pumped volume, ROP, stands "
      "in the hole, run averages) saved in the home's sys.bin. Exit 1: no readable state");
  cmd->add_flag("--json", options->json, "Print JSON");
  cmd->callback([&context, options] { show(context, *options); });
}

}  // namespace

RIGSTATION_COMMAND("race", add_race);
