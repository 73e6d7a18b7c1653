#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "lib/ini_collect.h"
#include "lib/ini_file.h"
#include "lib/options.h"
#include "lib/str_utils.h"
#include "support/error_of.h"
#include "support/fakes.h"

namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

using testing_support::error_of;
using testing_support::read_file;
namespace fs = std::filesystem;

// --- IniFile

// Missing keys and sections, and numbers that are not wholly numbers, give the default.
TEST(IniFileTest, NumberAndBoolTextFormsOrTheDefault) {
  lib::IniFile ini;
  ini.load_text(
      "[s]\nint= 42 \nneg=-7\nplus=+8\ncomma=2,5\nexp=1e3\nnote=5 ; пять\ntail=12abc\nempty=\n"
      "fraction=1.5\nsigns=+-5\nword=abc\nmaybe=может быть\nhuge=99999999999999999999999\n"
      "b1=Да\nb2=OFF\nb3=true\nb4=нет\nb5=0\n");
  // clang-format off
  const std::pair<const char*, int> ints[] = {
      {"int", 42}, {"neg", -7}, {"plus", 8}, {"note", -1}, {"tail", -1}, {"empty", -1},
      {"fraction", -1}, {"signs", -1}, {"word", -1}, {"huge", -1}, {"missing", -1}};
  const std::pair<const char*, double> doubles[] = {
      {"comma", 2.5}, {"exp", 1000}, {"note", -1.5}, {"tail", -1.5}, {"empty", -1.5},
      {"signs", -1.5}, {"word", -1.5}, {"missing", -1.5}};
  // clang-format on
  for (const auto& [key, value] : ints) EXPECT_EQ(ini.get_int("s", key, -1), value) << key;
  for (const auto& [key, value] : doubles) {
    EXPECT_DOUBLE_EQ(ini.get_double("s", key, -1.5), value) << key;
  }
  for (const auto& [key, value] :
       {std::pair{"b1", true}, {"b2", false}, {"b3", true}, {"b4", false}, {"b5", false}}) {
    EXPECT_EQ(ini.get_bool("s", key, !value), value) << key;
  }
  for (const char* key : {"maybe", "note", "missing"}) {
    EXPECT_TRUE(ini.get_bool("s", key, true)) << key;
    EXPECT_FALSE(ini.get_bool("s", key, false)) << key;
  }
  EXPECT_EQ(ini.get_int("экран", "int", 7), 7);
  EXPECT_EQ(ini.get_string("s", "сервер", "localhost"), "localhost");
  EXPECT_FALSE(ini.has_key("s", "missing"));
  EXPECT_FALSE(ini.find("экран", "int").has_value());
  // The text itself is kept as written: no inline comments are cut off.
  EXPECT_EQ(ini.get_string("s", "note"), "5 ; пять");
}

TEST(IniFileTest, CyrillicNamesMatchInAnyLetterCase) {
  lib::IniFile ini;
  ini.load_text("[Связь]\nПорт=1\n");
  EXPECT_EQ(ini.get_int("СВЯЗЬ", "порт", 0), 1);
  ini.set_int("связь", "ПОРТ", 2);
  // The existing key is updated under its own spelling, not added a second time.
  EXPECT_THAT(ini.sections(), ElementsAre("Связь"));
  EXPECT_THAT(ini.keys("связь"), ElementsAre("Порт"));
  EXPECT_THAT(ini.to_text(), HasSubstr("Порт=2"));
}

// A hand-edited file may repeat a section or a key in another letter case; each must stay
// one name, or a lookup would find one copy or the other depending on its spelling.
TEST(IniFileTest, NamesRepeatedInAnotherLetterCaseJoinTheFirstSpelling) {
  lib::IniFile ini;
  ini.load_text("[Связь]\nПорт=1\nсервер=буровая\n[экран]\nшаг=2\n[СВЯЗЬ]\nпорт=3\n");
  EXPECT_THAT(ini.sections(), ElementsAre("Связь", "экран"));
  EXPECT_THAT(ini.keys("связь"), ElementsAre("Порт", "сервер"));
  // The last line wins, as for a key repeated in the same spelling.
  EXPECT_EQ(ini.get_int("Связь", "Порт", 0), 3);
  EXPECT_EQ(ini.get_int("СВЯЗЬ", "ПОРТ", 0), 3);
  ASSERT_THAT(ini.problems(), SizeIs(2));
  EXPECT_THAT(ini.problems()[0], AllOf(HasSubstr("line 6"), HasSubstr("[Связь]")));
  EXPECT_THAT(ini.problems()[1], AllOf(HasSubstr("line 7"), HasSubstr("\"Порт\"")));

  lib::IniFile again;
  again.load_text(ini.to_text());
  EXPECT_THAT(again.problems(), IsEmpty());
  EXPECT_THAT(again.sections(), ElementsAre("Связь", "экран"));
  EXPECT_EQ(again.get_int("связь", "порт", 0), 3);
}

// The nameless section is written before all others, so a "[]" header further down could
// not be written back where it stood: its keys would move to the top of the file.
TEST(IniFileTest, HeaderWithoutANameIsDroppedAndItsKeysStayInTheSectionAbove) {
  lib::IniFile ini;
  ini.load_text("верх=0\n[a]\nx=1\n[ ]\ny=2\n");
  ASSERT_THAT(ini.problems(), SizeIs(1));
  EXPECT_THAT(ini.problems()[0], AllOf(HasSubstr("line 4"), HasSubstr("[a]")));
  EXPECT_THAT(ini.sections(), ElementsAre("", "a"));
  EXPECT_EQ(ini.get_int("a", "y", 0), 2);

  lib::IniFile again;
  again.load_text(ini.to_text());
  EXPECT_THAT(again.problems(), IsEmpty());
  EXPECT_EQ(again.get_int("a", "y", 0), 2);
  EXPECT_EQ(again.get_int("", "верх", 1), 0);
}

TEST(IniFileTest, ByteOrderMarkIsAcceptedOnReadAndNotWritten) {
  testing_support::TempDir dir;
  const std::string path = dir.file("out.ini");
  lib::write_file_atomically(path, "\xEF\xBB\xBF[связь]\r\nпорт=7\r\n", lib::posix_file_system());
  auto ini = lib::get_ini_file(path, lib::posix_file_system());
  EXPECT_THAT(ini->sections(), ElementsAre("связь"));
  EXPECT_EQ(ini->get_int("связь", "порт", 0), 7);
  EXPECT_FALSE(ini->converted_from_cp1251());
  ini->set_string("связь", "сервер", "буровая-1");
  ini->save();
  const std::string bytes = read_file(path);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), std::string::npos);
  EXPECT_EQ(bytes, "[связь]\nпорт=7\nсервер=буровая-1\n");
}

TEST(IniFileTest, SavingKeepsOtherSectionsAndComments) {
  testing_support::TempDir dir;
  const std::string path = dir.file("station.ini");
  lib::write_file_atomically(path,
                             "[журнал]\n; папка на втором диске\nпапка=/data/журнал буровой\n"
                             "уровень=3\n\n[связь]\nпорт=1\n; конец файла\n",
                             lib::posix_file_system());
  {
    auto ini = lib::get_ini_file(path, lib::posix_file_system());
    ini->set_int("связь", "порт", 5000);
    ini->set_string("новый", "ключ", "значение");
    ini->save();
  }
  const std::string text = read_file(path);
  EXPECT_THAT(text, HasSubstr("[журнал]\n"));
  EXPECT_THAT(text, HasSubstr("; папка на втором диске\nпапка=/data/журнал буровой\nуровень=3\n"));
  EXPECT_THAT(text, HasSubstr("; конец файла\n"));
  auto again = lib::get_ini_file(path, lib::posix_file_system());
  EXPECT_THAT(again->sections(), ElementsAre("журнал", "связь", "новый"));
  EXPECT_EQ(again->get_string("журнал", "папка"), "/data/журнал буровой");
  EXPECT_EQ(again->get_int("связь", "порт", 0), 5000);
  EXPECT_EQ(again->get_string("новый", "ключ"), "значение");
}

TEST(IniFileTest, DamagedLinesAreReportedAndTheRestReads) {
  lib::IniFile ini;
  ini.load_text("[открыт\nx=1\nбез знака равенства\n=значение без ключа\n[ok]\ny=2\n");
  EXPECT_THAT(ini.problems(), SizeIs(3));
  EXPECT_THAT(ini.problems()[0], HasSubstr("line 1"));
  // The unclosed header is closed, so x stays in its own section instead of being glued
  // into the section name.
  EXPECT_EQ(ini.get_int("открыт", "x", 0), 1);
  EXPECT_EQ(ini.get_int("ok", "y", 0), 2);
}

// A comment after a dropped first line, or an indented one, is the file's first comment
// from the first load on, so saving twice gives the same text.
TEST(IniFileTest, CommentAfterADroppedLineKeepsItsPlaceFromSaveToSave) {
  lib::IniFile ini;
  ini.load_text("мусор без знака\n\t# заметка\n[a]\nx=1\n");
  EXPECT_THAT(ini.problems(), SizeIs(1));
  const std::string once = ini.to_text();
  EXPECT_THAT(once, HasSubstr("# заметка"));
  lib::IniFile again;
  again.load_text(once);
  EXPECT_EQ(again.to_text(), once);
}

// A CP1251 file loses nothing when converted, and says so.
TEST(IniFileTest, EightBitCodePageFileIsConvertedWholeAndSaid) {
  lib::IniFile ini;
  // "[связь]\nпорт=5\nимя=Буровая\n" in the 8-bit Cyrillic code page.
  ini.load_text(
      "[\xF1\xE2\xFF\xE7\xFC]\n\xEF\xEE\xF0\xF2=5\n\xE8\xEC\xFF=\xC1\xF3\xF0\xEE\xE2\xE0\xFF\n");
  EXPECT_TRUE(ini.converted_from_cp1251());
  EXPECT_TRUE(ini.fully_read());
  EXPECT_THAT(ini.problems(), ElementsAre(HasSubstr("CP1251")));
  EXPECT_EQ(ini.get_int("связь", "порт", 0), 5);
  EXPECT_EQ(ini.get_string("связь", "имя"), "Буровая");
}

// A single stray byte in a UTF-8 file must not turn the whole file into CP1251 mojibake,
// where no section matches and every setting silently falls to its default.
TEST(IniFileTest, StrayByteInUtf8KeepsTheOtherLinesAndIsReportedByLine) {
  lib::IniFile ini;
  ini.load_text("[связь]\nпорт=5\nимя=Буровая\xFF\n[ДОЛ]\nсвеча=36\n");
  EXPECT_FALSE(ini.converted_from_cp1251());
  EXPECT_TRUE(ini.undecodable());
  EXPECT_FALSE(ini.fully_read());
  EXPECT_EQ(ini.get_int("связь", "порт", 0), 5);
  EXPECT_EQ(ini.get_int("дол", "свеча", 0), 36);
  EXPECT_THAT(ini.first_loss(), AllOf(HasSubstr("line 3"), HasSubstr("0xFF")));
  EXPECT_THAT(ini.problems(), ElementsAre(HasSubstr("line 3")));
}

// A file that was not fully read is never written over: the next save would replace the
// damaged or dropped text with what little was understood.
TEST(IniFileTest, FileNotFullyReadIsNeverSavedOver) {
  testing_support::TempDir dir;
  const std::string damaged = "[связь]\nпорт=5\nимя=Буровая\xFF\n";
  const std::string dropped = "[связь]\nпорт=5\nстрока без знака равенства\n";
  for (const std::string& original : {damaged, dropped}) {
    const std::string path = dir.file("global.ini");
    lib::write_file_atomically(path, original, lib::posix_file_system());
    lib::IniFile ini;
    ini.load_file(path, lib::posix_file_system());
    ini.set_int("связь", "порт", 6);
    EXPECT_THAT(error_of<lib::IniError>([&] { ini.save(); }),
                AllOf(HasSubstr(path), HasSubstr("line 3")));
    EXPECT_EQ(read_file(path), original);
    EXPECT_FALSE(fs::exists(lib::backup_path(path)));
    // Saving elsewhere is how the understood part can still be kept.
    EXPECT_NO_THROW(ini.save_file(dir.file("copy.ini"), lib::posix_file_system()));
  }
}

TEST(IniFileTest, SavingKeepsThePreviousFileAsABackup) {
  testing_support::TempDir dir;
  const std::string path = dir.file("global.ini");
  lib::IniFile ini;
  ini.set_int("a", "x", 1);
  ini.save_file(path, lib::posix_file_system());
  EXPECT_FALSE(fs::exists(lib::backup_path(path))) << "a new file has nothing to back up";
  ini.set_int("a", "x", 2);
  ini.save();
  EXPECT_EQ(lib::backup_path(path), path + ".bak");
  EXPECT_EQ(read_file(lib::backup_path(path)), "[a]\nx=1\n");
  EXPECT_EQ(read_file(path), "[a]\nx=2\n");
  ini.save();  // nothing changed: the backup still holds the previous version
  EXPECT_EQ(read_file(lib::backup_path(path)), "[a]\nx=1\n");
}

TEST(IniFileTest, UnstorableNamesAreRefusedAndValuesStayOneLine) {
  lib::IniFile ini;
  EXPECT_THROW(ini.set_string("a]b", "k", "v"), std::invalid_argument);
  for (const char* key : {"k=1", "", ";k", "[k"})
    EXPECT_THROW(ini.set_string("s", key, "v"), std::invalid_argument) << key;
  EXPECT_TRUE(ini.sections().empty());

  ini.set_string("s", "k", "первая\nвторая=3");
  lib::IniFile again;
  again.load_text(ini.to_text());
  EXPECT_THAT(again.keys("s"), ElementsAre("k"));
  EXPECT_EQ(again.get_string("s", "k"), "первая вторая=3");
}

TEST(IniFileTest, DeleteKeyAndSection) {
  lib::IniFile ini;
  ini.load_text("[a]\nx=1\ny=2\n[b]\nz=3\n");
  EXPECT_TRUE(ini.delete_key("a", "x"));
  EXPECT_FALSE(ini.delete_key("a", "x"));
  EXPECT_FALSE(ini.delete_key("нет", "x"));
  EXPECT_THAT(ini.keys("a"), ElementsAre("y"));
  EXPECT_TRUE(ini.delete_section("B"));
  EXPECT_FALSE(ini.delete_section("b"));
  EXPECT_THAT(ini.sections(), ElementsAre("a"));
}

TEST(IniFileTest, ReadOnlyFileRefusesToSave) {
  testing_support::TempDir dir;
  const std::string path = dir.file("ro.ini");
  lib::write_file_atomically(path, "[a]\nx=1\n", lib::posix_file_system());
  auto ini = lib::get_readonly_ini_file(path, lib::posix_file_system());
  EXPECT_TRUE(ini->read_only());
  ini->set_int("a", "x", 2);
  EXPECT_THROW(ini->save(), lib::IniError);
  EXPECT_THROW(ini->save_file(dir.file("other.ini"), lib::posix_file_system()), lib::IniError);
  EXPECT_EQ(read_file(path), "[a]\nx=1\n");
  EXPECT_FALSE(fs::exists(dir.file("other.ini")));
}

TEST(IniFileTest, MissingFileIsEmptyAndUnreadableOrUnwritableFileThrows) {
  testing_support::TempDir dir;
  auto missing = lib::get_ini_file(dir.file("none.ini"), lib::posix_file_system());
  EXPECT_TRUE(missing->sections().empty());
  EXPECT_EQ(missing->path(), dir.file("none.ini"));

  fs::create_directory(dir.file("folder.ini"));
  lib::IniFile ini;
  EXPECT_THROW(ini.load_file(dir.file("folder.ini"), lib::posix_file_system()), lib::IniError);
  // What was never read must not be replaced by an empty file.
  EXPECT_THROW(ini.save(), lib::IniError);

  lib::IniFile fresh;
  fresh.set_int("a", "x", 1);
  EXPECT_THROW(fresh.save_file(dir.file("no-such-folder/a.ini"), lib::posix_file_system()),
               lib::IniError);
  EXPECT_EQ(fresh.get_int("a", "x", 0), 1);
}

// --- Typed options

struct StationSettings : lib::ini_options {
  int port = 0;
  std::string server;
  double depth_step = 0;
  bool sound = false;
  lib::Colour alarm_colour;
  int mode = 0;

  void get_options(lib::options_list& o) override {
    o.sector("связь", "Связь с датчиками");
    o.add("порт", "Порт", port, 5000).set_range(1, 65535);
    o.add("сервер", "Сервер", server, "localhost");
    o.sector("экран", "Экран");
    o.add("шаг глубины", "Шаг глубины", depth_step, 0.2, 2)
        .set_unit("м")
        .set_step(0.1)
        .set_range(0.01, 10);
    o.add("звук", "Звуковой сигнал", sound, true);
    o.add("цвет тревоги", "Цвет тревоги", alarm_colour, 0xFF0000);
    o.add_item("режим", "Режим", mode, {"бурение", "спуск", "подъём"}, 1);
  }
  auto fields() const { return std::tie(port, server, depth_step, sound, alarm_colour, mode); }
};

// Every field away from its default, the text one with quotes and a comma.
StationSettings changed_settings() {
  StationSettings s;
  s.port = 4001;
  s.server = "\"сервер 1\", резерв";
  s.depth_step = 0.25;
  s.sound = false;
  s.alarm_colour = lib::Colour::from_rgb(0x12, 0xAB, 0x34);
  s.mode = 2;
  return s;
}

void expect_defaults(const StationSettings& s) {
  EXPECT_EQ(s.fields(), std::make_tuple(5000, "localhost", 0.2, true, lib::Colour(0xFF0000), 1));
}

TEST(OptionsTest, SetDefaultsAndMissingKeysGiveDefaults) {
  StationSettings s = changed_settings();
  s.set_defaults();
  expect_defaults(s);

  StationSettings t = changed_settings();
  lib::IniFile ini;
  ini.load_text("[другое]\nпорт=80\n");
  EXPECT_THAT(t.load(ini), IsEmpty());
  expect_defaults(t);
}

TEST(OptionsTest, EveryTypeRoundTripsThroughAFile) {
  testing_support::TempDir dir;
  const std::string path = dir.file("station.ini");
  StationSettings s = changed_settings();
  s.save_to_file(path, lib::posix_file_system());
  EXPECT_THAT(read_file(path), AllOf(HasSubstr("[связь]\nпорт=4001\n"),
                                     HasSubstr("шаг глубины=0.25\n"), HasSubstr("звук=0\n"),
                                     HasSubstr("цвет тревоги=#12AB34\n"), HasSubstr("режим=2\n")));
  StationSettings t;
  EXPECT_THAT(t.load_from_file(path, lib::posix_file_system()), IsEmpty());
  EXPECT_EQ(t.fields(), s.fields());
}

TEST(OptionsTest, SaveToFileKeepsOtherSectionsAndForeignKeys) {
  testing_support::TempDir dir;
  const std::string path = dir.file("station.ini");
  lib::write_file_atomically(path,
                             "[журнал]\nпапка=/data/журнал\nуровень=3\n\n[связь]\nпорт=1\n"
                             "скорость=9600\n",
                             lib::posix_file_system());
  StationSettings s;
  s.set_defaults();
  s.save_to_file(path, lib::posix_file_system());

  auto ini = lib::get_ini_file(path, lib::posix_file_system());
  EXPECT_EQ(ini->get_string("журнал", "папка"), "/data/журнал");
  EXPECT_EQ(ini->get_int("журнал", "уровень", 0), 3);
  EXPECT_EQ(ini->get_int("связь", "скорость", 0), 9600);
  EXPECT_EQ(ini->get_int("связь", "порт", 0), 5000);
  EXPECT_EQ(ini->sections().front(), "журнал");
}

TEST(OptionsTest, BadValuesFallBackOrClampWithAReason) {
  lib::IniFile ini;
  ini.load_text(
      "[связь]\nпорт=99999\n[экран]\nшаг глубины=0,5 ; было 0.2\nзвук=может быть\n"
      "цвет тревоги=#12345\nрежим=7\n");
  StationSettings s;
  const auto issues = s.load(ini);
  std::vector<std::string> keys;
  for (const auto& i : issues) keys.push_back(i.key);
  EXPECT_THAT(keys, ElementsAre("порт", "шаг глубины", "звук", "цвет тревоги", "режим"));
  EXPECT_EQ(s.fields(), std::make_tuple(65535, "localhost", 0.2, true, lib::Colour(0xFF0000), 1));
  EXPECT_THAT(issues[0].reason, HasSubstr("clamped"));
  EXPECT_EQ(issues[1].text, "0,5 ; было 0.2");
  for (const auto& i : issues) EXPECT_FALSE(i.reason.empty()) << i.key;

  ini.load_text("[экран]\nшаг глубины=0,001\n");
  EXPECT_THAT(s.load(ini), SizeIs(1));
  EXPECT_DOUBLE_EQ(s.depth_step, 0.01) << "clamped";
  ini.load_text("[экран]\nшаг глубины=0,75\n");
  EXPECT_THAT(s.load(ini), IsEmpty());
  EXPECT_DOUBLE_EQ(s.depth_step, 0.75);
}

TEST(OptionsTest, UnreadableFileLeavesDefaultsAndIsReported) {
  testing_support::TempDir dir;
  fs::create_directory(dir.file("folder.ini"));
  StationSettings s = changed_settings();
  const auto issues = s.load_from_file(dir.file("folder.ini"), lib::posix_file_system());
  ASSERT_THAT(issues, SizeIs(1));
  EXPECT_THAT(issues[0].reason, HasSubstr("folder.ini"));
  expect_defaults(s);
  EXPECT_THROW(s.save_to_file(dir.file("folder.ini"), lib::posix_file_system()), lib::IniError);
}

// Values written through the description land in the settings object, clamped or refused.
TEST(OptionsTest, TheDescriptionWritesIntoTheSettings) {
  StationSettings s;
  lib::options_list list = s.options();
  EXPECT_THAT(list.find("ЭКРАН", "режим")->items(), ElementsAre("бурение", "спуск", "подъём"));
  EXPECT_FALSE(list.find("связь", "порт")->assign(80).has_value());
  EXPECT_EQ(s.port, 80);
  EXPECT_TRUE(list.find("связь", "порт")->assign(std::string("80")).has_value());
  EXPECT_EQ(s.port, 80);
  EXPECT_TRUE(list.find("связь", "порт")->assign(0).has_value());
  EXPECT_EQ(s.port, 1);
}

TEST(OptionsTest, MistakesInTheDescriptionThrow) {
  int i = 0;
  bool b = false;
  lib::options_list early;
  EXPECT_THROW(early.add("k", "c", i, 0), std::logic_error);

  lib::options_list list;
  list.sector("s", "S");
  list.add("Порт", "c", i, 0);
  EXPECT_THROW(list.add("порт", "c", i, 0), std::logic_error);
  EXPECT_THROW(list.add("", "c", i, 0), std::logic_error);
  EXPECT_THROW(list.add_item("item", "c", i, {"a", "b"}, 2), std::logic_error);
  EXPECT_THROW(list.add("b", "c", b, false).set_range(0, 1), std::logic_error);
  EXPECT_THROW(list.add("r", "c", i, 0).set_range(5, 1), std::logic_error);
}

TEST(OptionTextTest, ColourForms) {
  EXPECT_EQ(lib::colour_to_str(lib::Colour::from_rgb(1, 2, 0xAB)), "#0102AB");
  EXPECT_EQ(lib::parse_colour("#12ab34"), lib::Colour(0x12AB34));
  EXPECT_EQ(lib::parse_colour(" #12AB34 "), lib::Colour(0x12AB34));
  EXPECT_EQ(lib::parse_colour("1223476"), lib::Colour(0x12AB34));
  EXPECT_EQ(lib::parse_colour("16777215"), lib::Colour(0xFFFFFF));
  for (const char* bad :
       {"#12345", "#1234567", "#GG0000", "-1", "16777216", "0x12AB34", "", "red"}) {
    EXPECT_FALSE(lib::parse_colour(bad).has_value()) << bad;
  }
  EXPECT_EQ(lib::Colour(0xFF123456).rgb, 0x123456u);
}

TEST(OptionTextTest, FloatDigitsDecideTheWrittenText) {
  double fixed = 0;
  double exact = 0;
  lib::options_list list;
  list.sector("s", "S");
  lib::Option& two = list.add("two", "c", fixed, 0, 2);
  lib::Option& shortest = list.add("shortest", "c", exact, 0);
  fixed = 1.23456;
  exact = 0.1 + 0.2;
  EXPECT_EQ(two.to_text(), "1.23");
  EXPECT_FALSE(shortest.from_text(shortest.to_text()).has_value());
  EXPECT_EQ(exact, 0.1 + 0.2);
}

TEST(OptionTextTest, IntTextOutsideIntIsClamped) {
  int v = 0;
  lib::options_list list;
  list.sector("s", "S");
  lib::Option& o = list.add("k", "c", v, 3);
  EXPECT_TRUE(o.from_text("99999999999").has_value());
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(o.from_text("4.5").has_value());
  EXPECT_EQ(v, 3);
}

// --- Collections

struct Threshold {
  std::string param;
  double limit = 0;
  std::string text;
  bool operator==(const Threshold&) const = default;
};

class ThresholdList : public lib::IniCollectModule {
 public:
  ThresholdList() : IniCollectModule("пороги") {}
  std::vector<Threshold> items;

 protected:
  std::size_t item_count() const override { return items.size(); }
  void clear_items() override { items.clear(); }
  void item_to_fields(std::size_t i, lib::StringContainer& f) const override {
    f.add(items[i].param);
    f.add(lib::float_to_str(items[i].limit));
    f.add(items[i].text);
  }
  bool add_item_from_fields(const lib::StringContainer& f, std::string& reason) override {
    if (f.size() != 3) {
      reason = "3 fields expected";
      return false;
    }
    // std::stod throws on a non-number: the module must turn that into a skipped line.
    items.push_back({f[0], std::stod(f[1]), f[2]});
    return true;
  }
};

TEST(IniCollectTest, RoundTripThroughAFileKeepsOrderAndOtherSections) {
  testing_support::TempDir dir;
  const std::string path = dir.file("alarms.ini");
  lib::write_file_atomically(path, "[связь]\nпорт=1\n", lib::posix_file_system());
  ThresholdList list;
  list.items = {{"Вес", 120.5, "Превышение веса, \"крюк\""},
                {"Давление", 250, "Давление"},
                {"Обороты", -3, ""}};
  list.save_to_file(path, lib::posix_file_system());

  const std::string text = read_file(path);
  EXPECT_THAT(text, HasSubstr("[связь]\nпорт=1\n"));
  EXPECT_THAT(text, HasSubstr("[пороги]\ncount=3\n1="));

  ThresholdList again;
  EXPECT_THAT(again.load_from_file(path, lib::posix_file_system()), IsEmpty());
  EXPECT_EQ(again.items, list.items);
}

TEST(IniCollectTest, DamagedLinesAreSkippedWithAReasonAndTheRestLoads) {
  lib::IniFile ini;
  ini.load_text(
      "[пороги]\ncount=4\n1=Вес,120,a\n2=Давление\n3=Момент,abc,x\n4=Обороты,80,b\nлишний=1\n");
  ThresholdList list;
  list.items = {{"старый", 1, ""}};
  const auto issues = list.load(ini);
  ASSERT_THAT(list.items, SizeIs(2));
  EXPECT_EQ(list.items[0], (Threshold{"Вес", 120, "a"}));
  EXPECT_EQ(list.items[1], (Threshold{"Обороты", 80, "b"}));
  ASSERT_THAT(issues, SizeIs(3));
  EXPECT_THAT(issues[0], HasSubstr("лишний"));
  EXPECT_THAT(issues[1], AllOf(HasSubstr("line 2"), HasSubstr("3 fields expected")));
  EXPECT_THAT(issues[2], AllOf(HasSubstr("line 3"), HasSubstr("Момент,abc,x")));
}

TEST(IniCollectTest, LinesAreReadByNumberWhateverCountSays) {
  lib::IniFile ini;
  ini.load_text("[пороги]\ncount=1\n10=C,3,c\n2=B,2,b\n1=A,1,a\n");
  ThresholdList list;
  const auto issues = list.load(ini);
  ASSERT_THAT(list.items, SizeIs(3));
  EXPECT_EQ(list.items[0].param, "A");
  EXPECT_EQ(list.items[1].param, "B");
  EXPECT_EQ(list.items[2].param, "C");
  ASSERT_THAT(issues, SizeIs(1));
  EXPECT_THAT(issues[0], HasSubstr("count"));
}

TEST(IniCollectTest, SaveDropsStaleLinesAndKeepsTheSectionInPlace) {
  lib::IniFile ini;
  ini.load_text("[a]\nx=1\n[пороги]\ncount=3\n1=A,1,a\n2=B,2,b\n3=C,3,c\n[b]\ny=2\n");
  ThresholdList list;
  ASSERT_THAT(list.load(ini), IsEmpty());
  list.items.erase(list.items.begin());
  list.save(ini);
  EXPECT_THAT(ini.sections(), ElementsAre("a", "пороги", "b"));
  EXPECT_THAT(ini.keys("пороги"), ElementsAre("count", "1", "2"));
  EXPECT_EQ(ini.get_int("пороги", "count", 0), 2);

  ThresholdList again;
  EXPECT_THAT(again.load(ini), IsEmpty());
  EXPECT_EQ(again.items, list.items);
}

TEST(IniCollectTest, MissingSectionGivesNoItemsAndUnreadableFileKeepsThem) {
  lib::IniFile ini;
  ini.load_text("[a]\nx=1\n");
  ThresholdList list;
  list.items = {{"A", 1, "a"}};
  EXPECT_THAT(list.load(ini), IsEmpty());
  EXPECT_THAT(list.items, IsEmpty());

  testing_support::TempDir dir;
  fs::create_directory(dir.file("folder.ini"));
  list.items = {{"A", 1, "a"}};
  EXPECT_THAT(list.load_from_file(dir.file("folder.ini"), lib::posix_file_system()), SizeIs(1));
  EXPECT_THAT(list.items, SizeIs(1));
}

}  // namespace
