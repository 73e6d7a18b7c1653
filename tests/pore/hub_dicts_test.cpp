#include <gtest/gtest.h>

#include "core/system.h"
#include "instr/instr_dicts_provider.h"
#include "support/fakes.h"

namespace {

TEST(HubInstrDictsTest, DefaultProviderServesElementKindsAndTheGeneralDictionaries) {
  testing_support::TempDir dir;
  testing_support::FakeClock clock;
  reg::SystemOptions options;
  options.home_folder = dir.path();
  options.clock = &clock;
  reg::System hub(options);
  hub.set_instr_dicts_provider(nullptr);  // drop it, then ask for the default again
  EXPECT_EQ(hub.get_instr_dicts_provider(), nullptr);
  hub.set_default_instr_dicts_provider();
  lib::DictsProvider* provider = hub.get_instr_dicts_provider();
  ASSERT_NE(provider, nullptr);

  lib::StringContainer items;
  provider->get_dict_items(instr::kElemTypesDict, items);
  EXPECT_EQ(provider->index_of(items, "Свеча"), 1);
  provider->get_dict_items("@bottom_hole_assembly_dict", items);
  EXPECT_EQ(provider->get_item(items, 2), "УБТ");
}

}  // namespace
