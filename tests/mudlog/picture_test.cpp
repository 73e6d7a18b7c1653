// The mud log as a person gets it: a station plays the drilling scenario "mud-log.txt" on a
// fake clock and records it as run 1, the logger's remarks and a mud check are in the
// journals; then the built rigstation draws it with `rec plot` (pages counted by pdfinfo,
// the first page rendered by pdftoppm) and serves it to headless Chromium, and both pictures
// are compared with the reviewed ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "calc/race_info_old.h"
#include "core/config.h"
#include "core/system.h"
#include "journals/journal_files.h"
#include "journals/mud_log_file.h"
#include "journals/remarks_file.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/process_runner.h"
#include "mudlog/picture_compare.h"
#include "mudlog/run_data.h"
#include "pore/pore_opt.h"
#include "station/station.h"
#include "station/station_fixture.h"
#include "station/station_home.h"
#include "support/fakes.h"

namespace {

using testing_support::Rig;
using testing_support::TempDir;

const std::string kRigstation = RIGCORE_TEST_RIGSTATION;

// The starter rows and the weight on bit, which the scenario plays.
std::vector<station::StarterRow> rows_with_wob() {
  std::vector<station::StarterRow> rows(station::starter_rows().begin(),
                                        station::starter_rows().end());
  rows.push_back({"нагрузка", params::kChannelAnalog, 3, 1024, 0, 4095, 30, 3});
  return rows;
}

std::uint32_t at_clock(int hour, int minute) {
  // The fake clock's day, 05.12.2026, at the given time of day.
  const auto dt = lib::encode_date_time({2026, 12, 5, hour, minute, 0, 0});
  return static_cast<std::uint32_t>(lib::to_local_time(*dt)->seconds);
}

// Records run 1 into `home`: the mud-log scenario drilled on a fake clock by a station that
// knows its well and bit, stopped at the end, and the logger's journals beside it.
void record_scenario(const std::string& home) {
  {
    Rig rig(home);
    station::StationSettings s;
    s.protocol = "emulator";
    rig.st->open(s);
    // The mud from the bit is out after ten minutes of pumping.
    rig.hub->config().lag.by_lag_time = 1;
    rig.hub->config().lag.lag_time = 600;
    rig.hub->config().save_to_file(home + "global.ini", rig.hub->file_system());
    station::write_starter_table(rig.hub->file_system(), home + station::kParamTableFileName,
                                 rig.hub->catalogue(), 0, rows_with_wob());
    pore::WellOptions& w = rig.hub->pore_opt().options();
    w.well = "Северная-112";
    w.deposit = "Ромашкинское";
    w.kust = "7";
    w.hole_diameter = 215.9;
    calc::RaceInfoOld::Settings& bit = rig.hub->config().race_info().settings;
    bit.bit_number = "3";
    bit.bit_diameter = 215.9;
    bit.bit_type = "PDC";
    rig.st->close();
  }
  {
    Rig rig(home);
    station::StationSettings s;
    s.protocol = "emulator";
    s.scenario = std::string(RIGCORE_SCENARIOS) + "mud-log.txt";
    rig.st->open(s);
    // A second of the rig's wall clock a tick, as the lines' times and the remarks need.
    while (!rig.st->scenario_finished()) {
      rig.clock.now.seconds += 1;
      rig.ticks(1);
    }
    rig.st->command("race stop");
    rig.st->close();
  }
  std::vector<text::Record> remarks;
  for (const auto& [h, m, t] : std::vector<std::tuple<int, int, const char*>>{
           {12, 4, "Аргиллит серый, плотный"},
           {12, 16, "Песчаник светло-серый, мелкозернистый, с запахом УВ"},
           {12, 27, "Алевролит, прослои аргиллита"}}) {
    text::Record r;
    r.time = at_clock(h, m);
    r.text = t;
    remarks.push_back(r);
  }
  journals::MudLogItem mud;
  mud.time = *lib::encode_date_time({2026, 12, 5, 12, 21, 0, 0});
  mud.mud_type = "Глинистый";
  mud[journals::kMudDensity] = 1.18;
  mud[journals::kMudViscosity] = 45;
  mud[journals::kMudFiltration] = 6;
  auto& fs = lib::posix_file_system();
  lib::make_dirs(fs, home + journals::kJournalsFolder);
  lib::write_file_atomically(journals::journal_path(home, journals::kRemarksFileName),
                             text::write_remarks_file(remarks), fs, false);
  lib::write_file_atomically(journals::journal_path(home, journals::kMudLogFileName),
                             journals::write_mud_log_file({mud}), fs, false);
}

// The recorded home the picture tests draw from. Under ctest a setup step records it once
// into the folder RIGCORE_MUDLOG_HOME names, for every picture test of the run; a test
// binary run by hand records it once into a temporary folder. The tests only read it.
class RecordedHome {
 public:
  RecordedHome() {
    if (const char* shared = std::getenv("RIGCORE_MUDLOG_HOME")) {
      home_ = std::string(shared) + "/";
    } else {
      home_ = own_.emplace().path();
      record_scenario(home_);
    }
  }
  const std::string& home() const { return home_; }
  std::string depth_file() const { return home_ + "records/0001.realdep"; }
  std::string scratch(const std::string& name) const { return scratch_.file(name); }

 private:
  std::optional<TempDir> own_;
  TempDir scratch_;
  std::string home_;
};

RecordedHome& recorded() {
  static RecordedHome home;
  return home;
}

lib::ProcessResult run(const std::vector<std::string>& argv) {
  return lib::system_process_runner().run(argv);
}

int pages_of(const std::string& pdf) {
  const lib::ProcessResult r = run({"pdfinfo", pdf});
  std::smatch m;
  const std::regex pages("Pages:\\s+(\\d+)");
  if (!r.ok() || !std::regex_search(r.output, m, pages)) {
    ADD_FAILURE() << "pdfinfo " << pdf << ": " << r.error << r.output;
    return -1;
  }
  return std::stoi(m[1]);
}

struct PlotCase {
  std::vector<std::string> args;
  int pages;
  const char* said;  // a line stderr must hold, or ""
};

// The log as printed: the starter layout draws every curve, and the first page looks as
// reviewed.
void expect_readable_pdf(RecordedHome& h) {
  const std::string pdf = h.scratch("log.pdf");
  const lib::ProcessResult r =
      run({kRigstation, "rec", "plot", h.depth_file(), "--scale", "1:200", "--pdf", pdf});
  ASSERT_TRUE(r.ok()) << r.error << r.output;
  // Every curve of the starter layout was recorded: nothing is said to be missing.
  EXPECT_EQ(r.output.find("not recorded"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("no values"), std::string::npos) << r.output;
  const std::string png = h.scratch("log");
  const lib::ProcessResult render =
      run({"pdftoppm", "-r", "60", "-png", "-f", "1", "-l", "1", "-singlefile", pdf, png});
  ASSERT_TRUE(render.ok()) << render.error << render.output;
  mudlog_test::expect_picture(png + ".png", "mud-log-pdf.png");
  // The same log as one SVG strip.
  const std::string svg = h.scratch("log.svg");
  ASSERT_TRUE(run({kRigstation, "rec", "plot", h.depth_file(), "--svg", svg}).ok());
  const std::string text = testing_support::read_file(svg);
  EXPECT_NE(text.find("<svg"), std::string::npos);
}

// The setup of the picture tests under ctest (it records the shared home), and by hand the
// check that a station that knows its well and bit writes them into the run's header.
TEST(MudLogScenario, IsRecordedWithItsWellBitAndDates) {
  if (const char* shared = std::getenv("RIGCORE_MUDLOG_HOME")) {
    std::filesystem::remove_all(shared);
    std::filesystem::create_directories(shared);
    record_scenario(std::string(shared) + "/");
  }
  const mudlog::RunSummary run =
      mudlog::summarize_run(recorded().depth_file(), lib::posix_file_system());
  auto value = [&](const std::string& key) {
    for (const auto& [k, v] : run.header)
      if (k == key) return v;
    return std::string("(none)");
  };
  EXPECT_EQ(value("скважина"), "Северная-112");
  EXPECT_EQ(value("номер_долота"), "3");
  EXPECT_EQ(value("диаметр_долота"), "215.9");
  EXPECT_EQ(value("тип_долота"), "PDC");
  EXPECT_LT(std::stod(value("нач_время")), std::stod(value("конеч_время")));
}

TEST(MudLogPicture, ThePrintedLogIsReadableItsPagesFollowRangeAndScaleAndGapsAreSaid) {
  RecordedHome& h = recorded();
  const PlotCase cases[] = {
      // The whole run, 1000 to 1028 m: 48 m a page at 1:200.
      {{"--scale", "1:200"}, 1, "1 page(s) of"},
      {{"--from", "1000", "--to", "1028", "--scale", "1:50"}, 3, ""},  // 12 m a page
      {{"--from", "1028", "--to", "1000", "--scale", "1:100"},
       2,
       "the depth range 1028..1000 m is reversed; it is drawn from 1000 to 1028 m"},
      {{"--from", "900", "--to", "1400"}, 5, ""},  // 1:500 of the layout, 120 m a page
  };
  for (const PlotCase& c : cases) {
    const std::string pdf = h.scratch("pages.pdf");
    std::vector<std::string> argv = {kRigstation, "rec", "plot", h.depth_file(), "--pdf", pdf};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const lib::ProcessResult r = run(argv);
    ASSERT_TRUE(r.ok()) << r.error << r.output;
    EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
    EXPECT_EQ(pages_of(pdf), c.pages) << c.args.front() << " ...";
  }
  // A run without its lag file, under a layout naming a parameter the run never recorded:
  // both said, the rest drawn.
  const std::string alone = h.scratch("alone/records/");
  std::filesystem::create_directories(alone);
  std::filesystem::copy_file(h.depth_file(), alone + "0001.realdep");
  std::ofstream(h.scratch("layout.ini"))
      << "[track]\nkind = depth\n[track]\ncurve = нет_такого\ncurve = нагрузка\n"
         "[track]\nagainst = lag\ncurve = сумм_газ\n";
  const std::string pdf = h.scratch("alone.pdf");
  const lib::ProcessResult r = run({kRigstation, "rec", "plot", alone + "0001.realdep", "--pdf",
                                    pdf, "--layout", h.scratch("layout.ini")});
  ASSERT_TRUE(r.ok()) << r.error << r.output;
  EXPECT_NE(r.output.find("0001.reallag: no such file; the curves plotted against the lag depth "
                          "are left empty"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("layout.ini, line 4: 'нет_такого' is not recorded in 0001.realdep"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(pages_of(pdf), 1);
  expect_readable_pdf(h);
}

TEST(MudLogPicture, TheWebPageShowsTheSameLogAndFollowsANewRunLive) {
  RecordedHome& h = recorded();
  // The page's station drills a run 2 into the home: a copy of it, the shared one stays run 1.
  const std::string home = h.scratch("web-home/");
  std::filesystem::copy(h.home(), home, std::filesystem::copy_options::recursive);
  const std::string png = h.scratch("web.png");
  const lib::ProcessResult r = run({"node", RIGCORE_DEPTH_PAGE_CHECK, kRigstation, home, png});
  ASSERT_TRUE(r.ok()) << r.error << r.output;
  mudlog_test::expect_picture(png, "mud-log-web.png");
}

}  // namespace
