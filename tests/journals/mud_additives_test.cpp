#include "journals/mud_additives.h"

#include <gtest/gtest.h>

#include "journal_test_support.h"
#include "support/fakes.h"

using namespace journals;
using journal_tests::CollectedLog;
using testing_support::TempDir;

namespace {

MudAdditive sample_additive(int seed) {
  MudAdditive a;
  a.key = {-seed, seed * 3};
  a.text = "КМЦ «высоковязкая», партия " + std::to_string(seed);
  a.number = 250 * seed - 1;
  a.start = lib::DateTime{45200.125 + seed};
  a.end = lib::DateTime{45200.875 + seed};
  return a;
}

std::string additives_file(std::int32_t version, lib::StringEnc enc,
                           const std::vector<MudAdditive>& items) {
  auto out = journal_tests::old_file_stream(enc);
  lib::io::write_binary(out, "MUD_ADDITIVES_FILE");
  lib::io::write_binary(out, version);
  lib::io::write_binary(out, static_cast<std::int32_t>(items.size()));
  for (const auto& a : items) write_mud_additive(out, a);
  return out.release();
}

std::string foreign_signature_file() {
  lib::io::BinaryMemoryOutputStream out;
  lib::io::write_binary(out, "MUD_ADDITIVES_FILX");
  lib::io::write_binary(out, std::int32_t{2});
  lib::io::write_binary(out, std::int32_t{0});
  return out.release();
}

// The file without its last byte: the last record is cut short.
std::string cut(std::string bytes) {
  bytes.pop_back();
  return bytes;
}

// A provider with a catalogue, as a host would install.
struct Catalogue : lib::DictsProvider {
  void get_dict_items(const std::string&, lib::StringContainer& items) override {
    items.clear();
    items.add("Бентонит", 7);
  }
  std::string get_item(const lib::StringContainer&, int) override { return "Бентонит"; }
  int index_of(const lib::StringContainer&, const std::string&) override { return 7; }
  bool allow_manual_edit() override { return false; }
};

}  // namespace

TEST(MudAdditivesFile, EveryFieldSurvivesSaveAndLoadWithCyrillicText) {
  TempDir dir;
  CollectedLog log;
  MudAdditives additives(log.sink());
  additives.set_file_name(dir.file("additives.dat"));
  additives.add_item(sample_additive(1));
  additives.add_item(sample_additive(2));
  ASSERT_TRUE(additives.save());

  const auto content =
      read_mud_additives_file(testing_support::read_file(dir.file("additives.dat")));
  EXPECT_EQ(content.version, 2);

  MudAdditives other;
  other.set_file_name(dir.file("additives.dat"));
  ASSERT_TRUE(other.load());
  EXPECT_EQ(other.items(), additives.items());
  EXPECT_TRUE(log.lines.empty());
}

TEST(MudAdditivesFile, Version1TextIsCp1251AndVersion2Utf8) {
  const std::vector<MudAdditive> items = {sample_additive(3)};
  EXPECT_EQ(read_mud_additives_file(additives_file(1, lib::StringEnc::kCp1251, items)).items,
            items);
  EXPECT_EQ(read_mud_additives_file(additives_file(2, lib::StringEnc::kUtf8, items)).items, items);
  // The same bytes read under the wrong version's encoding would not give the text back.
  EXPECT_NE(read_mud_additives_file(additives_file(1, lib::StringEnc::kUtf8, items)).items, items);
}

TEST(MudAdditivesFile, BadFilesLeaveTheJournalUnchanged) {
  const std::pair<const char*, std::string> cases[] = {
      {"foreign signature", foreign_signature_file()},
      {"unknown version 3", additives_file(3, lib::StringEnc::kUtf8, {sample_additive(1)})},
      {"unknown version 0", additives_file(0, lib::StringEnc::kUtf8, {})},
      {"cut short",
       cut(additives_file(2, lib::StringEnc::kUtf8, {sample_additive(1), sample_additive(2)}))},
      {"does not fit",
       additives_file(2, lib::StringEnc::kUtf8, {sample_additive(1)}).substr(0, 50)},
  };
  for (const auto& [reason, bytes] : cases) {
    TempDir dir;
    CollectedLog log;
    MudAdditives additives(log.sink());
    additives.set_file_name(dir.file("additives.dat"));
    additives.add_item(sample_additive(8));
    lib::write_file_atomically(dir.file("additives.dat"), bytes);
    EXPECT_FALSE(additives.load()) << reason;
    EXPECT_EQ(additives.items(), std::vector<MudAdditive>{sample_additive(8)}) << reason;
    EXPECT_TRUE(log.mentions(reason)) << reason;
    EXPECT_TRUE(log.mentions("MudAdditives::load")) << reason;
  }
}

TEST(MudAdditivesRecords, IndexOfByKey) {
  MudAdditives additives;
  additives.add_item(sample_additive(1));
  additives.add_item(sample_additive(2));
  MudAdditive probe;
  probe.key = sample_additive(2).key;
  EXPECT_EQ(additives.index_of(probe), 1);
  probe.key = {};
  EXPECT_EQ(additives.index_of(probe), -1);
}

TEST(MudAdditivesDictionaries, DefaultProviderUntilTheHostSetsItsOwn) {
  MudAdditives additives;
  lib::DictsProvider* standard = additives.get_dict_provider();
  ASSERT_NE(standard, nullptr);
  lib::StringContainer items{"x"};
  standard->get_dict_items("@mud_additives", items);
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(standard->allow_manual_edit());

  lib::StringContainer list;
  list.add("Барит", 4);
  list.add("Мел", 9);
  EXPECT_EQ(standard->get_item(list, 9), "Мел");
  EXPECT_EQ(standard->get_item(list, 5), "");
  EXPECT_EQ(standard->index_of(list, "Барит"), 4);
  EXPECT_EQ(standard->index_of(list, "Соль"), -1);

  additives.set_dicts_provider(std::make_unique<Catalogue>());
  EXPECT_FALSE(additives.get_dict_provider()->allow_manual_edit());
  additives.set_default_dicts_provider();
  EXPECT_TRUE(additives.get_dict_provider()->allow_manual_edit());
  additives.set_dicts_provider(nullptr);  // never left without a provider
  ASSERT_NE(additives.get_dict_provider(), nullptr);
}

TEST(MudAdditivesState, ItemsSurviveTheStateFile) {
  MudAdditives a, b;
  a.add_item(sample_additive(1));
  a.add_item(sample_additive(2));
  b.add_item(sample_additive(3));
  EXPECT_EQ(journal_tests::state_round_trip(a, b, "MudAdditives").read, 1);
  EXPECT_EQ(b.items(), a.items());
}

// A damaged state block is refused whole: the journal keeps what it had.
TEST(MudAdditivesState, CountLargerThanTheBlockIsRefused) {
  MudAdditives target;
  target.add_item(sample_additive(5));
  lib::io::BinaryMemoryOutputStream out;
  lib::io::write_binary(out, std::uint32_t{1000});
  write_mud_additive(out, sample_additive(1));
  lib::io::BinaryMemoryInputStream in(out.data());
  lib::serial_list reader(in, 1);
  unsigned version = 1;
  EXPECT_THROW(target.get_serial_list(reader, version), lib::io::StreamError);
  EXPECT_EQ(target.items(), std::vector<MudAdditive>{sample_additive(5)});
}
