#include "lib/module_list.h"

#include <gtest/gtest.h>

using namespace lib;

namespace {

// A module with a field of every kind the state file carries.
struct AllKinds : SerialModuleBase {
  explicit AllKinds(std::string name = "AllKinds", unsigned version = 2)
      : SerialModuleBase(std::move(name), version) {}
  bool flag = false;
  std::int8_t i8 = 0;
  std::uint16_t u16 = 0;
  std::int32_t i32 = 0;
  std::uint64_t u64 = 0;
  float f = 0;
  double d = 0;
  std::string text;
  DateTime stamp;
  std::vector<double> series;
  std::vector<std::string> names;
  int custom = 0;  // written as text, to exercise a field with its own frame
  int extra_v2 = 0;
  int after_reads = 0;

  void fill(int seed) {
    flag = seed % 2;
    i8 = static_cast<std::int8_t>(-seed);
    u16 = static_cast<std::uint16_t>(seed * 1000);
    i32 = -seed * 100000;
    u64 = 0xF000000000000000ull + static_cast<unsigned>(seed);
    f = 0.5f * static_cast<float>(seed);
    d = 1.0 / (seed + 3);
    text = "давление_" + std::to_string(seed);
    stamp = DateTime{44000.0 + seed / 7.0};
    series = {1.5, -2.25, static_cast<double>(seed)};
    names = {"Ёлка", "", "a,b \"c\""};
    custom = seed * 11;
    extra_v2 = seed + 1;
  }

  bool same_state(const AllKinds& o) const {
    return flag == o.flag && i8 == o.i8 && u16 == o.u16 && i32 == o.i32 && u64 == o.u64 &&
           f == o.f && d == o.d && text == o.text && stamp == o.stamp && series == o.series &&
           names == o.names && custom == o.custom && extra_v2 == o.extra_v2;
  }

 protected:
  void serial_fields(serial_list& l, unsigned version) override {
    l.add(flag).add(i8).add(u16).add(i32).add(u64).add(f).add(d);
    l.add(text).add(stamp).add(series).add(names);
    l.add_custom([this](io::OutputStream& out) { io::write_binary(out, std::to_string(custom)); },
                 [this](io::InputStream& in) {
                   std::string s;
                   io::read_binary(in, s);
                   custom = std::stoi(s);
                 });
    if (version >= 2) l.add(extra_v2);
  }
  void after_deserialize() override { ++after_reads; }
};

AllKinds seeded(int seed) {
  AllKinds m;
  m.fill(seed);
  return m;
}

std::string save(ModuleList& list, unsigned data_version = 1) {
  io::BinaryMemoryOutputStream out;
  list.serialize(out, nullptr, data_version);
  return out.release();
}

ModuleList::LoadReport load(ModuleList& list, const std::string& bytes,
                            std::vector<std::string>* errors = nullptr) {
  io::BinaryMemoryInputStream in(bytes);
  return list.deserialize(in, 1, [&](const std::string& m) {
    if (errors) errors->push_back(m);
  });
}

// Three modules filled from seeds seed, seed + 1 and seed + 2.
struct ThreeModules {
  AllKinds a{"A"}, b{"B"}, c{"C"};
  ModuleList list;
  explicit ThreeModules(int seed) {
    int i = seed;
    for (AllKinds* m : {&a, &b, &c}) {
      m->fill(i++);
      list.register_module(*m);
    }
  }
  // Each module holds the state seeded from `read` or from `kept`, never a mix of both.
  void expect_whole(int read, int kept, const std::string& where) const {
    int i = 0;
    for (const AllKinds* m : {&a, &b, &c}) {
      EXPECT_TRUE(m->same_state(seeded(read + i)) || m->same_state(seeded(kept + i)))
          << "mixed state, module " << i << ", " << where;
      ++i;
    }
  }
};

TEST(ModuleList, RoundTripOfEveryFieldKindInRegistrationOrder) {
  ThreeModules src(1);
  ThreeModules dst(50);
  std::vector<std::string> errors;
  auto report = load(dst.list, save(src.list), &errors);
  EXPECT_TRUE(errors.empty()) << errors.front();
  EXPECT_EQ(report.read, 3);
  EXPECT_TRUE(dst.a.same_state(src.a));
  EXPECT_TRUE(dst.b.same_state(src.b));
  EXPECT_TRUE(dst.c.same_state(src.c));
  EXPECT_EQ(dst.b.after_reads, 1);
  EXPECT_EQ(dst.list.names(), (std::vector<std::string>{"A", "B", "C"}));
}

TEST(ModuleList, TruncatedDataKeepsWhatWasReadBeforeTheCut) {
  ThreeModules src(1);
  const std::string bytes = save(src.list);
  // Cut at every length: never a crash, never a half-read module.
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    ThreeModules dst(7);
    std::vector<std::string> errors;
    try {
      auto r = load(dst.list, bytes.substr(0, cut), &errors);
      EXPECT_TRUE(r.truncated) << cut;
      EXPECT_FALSE(errors.empty()) << cut;
    } catch (const io::StreamError&) {
      EXPECT_LT(cut, 8u) << "only a cut inside the list header may throw";
    }
    dst.expect_whole(1, 7, "cut " + std::to_string(cut));
  }
}

TEST(ModuleList, FlippedBitSpoilsOnlyTheBlockItHits) {
  ThreeModules src(1);
  const std::string bytes = save(src.list);
  int outcomes_with_c_read = 0;
  for (std::size_t pos = 8; pos < bytes.size(); ++pos) {
    for (int bit : {0, 5}) {
      std::string damaged = bytes;
      damaged[pos] = static_cast<char>(damaged[pos] ^ (1 << bit));
      ThreeModules dst(7);
      std::vector<std::string> errors;
      auto r = load(dst.list, damaged, &errors);
      EXPECT_FALSE(errors.empty()) << "damage at " << pos << " went unnoticed";
      EXPECT_LE(r.read, 2) << pos;
      dst.expect_whole(1, 7, "pos " + std::to_string(pos));
      if (dst.c.same_state(src.c)) ++outcomes_with_c_read;
    }
  }
  // Damage in A's or B's block must not cost C its block.
  EXPECT_GT(outcomes_with_c_read, static_cast<int>(bytes.size()));
}

TEST(ModuleList, NewerBlocksAreRefusedAndUnknownOnesKeptForTheNextSave) {
  AllKinds old_layout{"A", 1}, newer{"B", 3}, unknown{"Z"};
  old_layout.fill(1);
  newer.fill(2);
  unknown.fill(3);
  ModuleList src;
  for (AllKinds* m : {&old_layout, &newer, &unknown}) src.register_module(*m);

  AllKinds a{"A", 2}, b{"B", 2};
  a.fill(5);
  b.fill(6);
  ModuleList dst;
  dst.register_module(a);
  dst.register_module(b);
  std::vector<std::string> errors;
  auto r = load(dst, save(src), &errors);
  EXPECT_EQ(r.read, 1);
  EXPECT_EQ(r.skipped, 2);
  // A read its version-1 block: everything but the version-2 field, which fill(5) set to 6.
  AllKinds expect_a = seeded(1);
  expect_a.extra_v2 = 6;
  EXPECT_TRUE(a.same_state(expect_a));
  EXPECT_TRUE(b.same_state(seeded(6))) << "a newer layout must not be misread";
  ASSERT_EQ(errors.size(), 1u) << "a module not registered now is no error";
  EXPECT_NE(errors[0].find("written by a newer program"), std::string::npos) << errors[0];
  EXPECT_EQ(r.newer, std::vector<std::string>{"B"});
  EXPECT_EQ(r.unknown, std::vector<std::string>{"Z"});
  EXPECT_EQ(r.damaged, 0);
  EXPECT_FALSE(r.clean()) << "a refused newer block is not a clean load";

  // Z's block travels through dst's next save and comes back whole where Z is registered.
  EXPECT_EQ(dst.kept_block_names(), std::vector<std::string>{"Z"});
  AllKinds z{"Z"};
  ModuleList back;
  back.register_module(z);
  auto again = load(back, save(dst), nullptr);
  EXPECT_EQ(again.read, 1);
  EXPECT_TRUE(z.same_state(unknown));
  EXPECT_EQ(back.kept_block_names(), (std::vector<std::string>{"A", "B"}));
  back.register_module(a);  // a plug-in registered late takes its kept block's place
  EXPECT_EQ(back.kept_block_names(), std::vector<std::string>{"B"});
}

TEST(ModuleList, ModuleThatFailsMidReadIsPutBack) {
  // Refuses its block after reading the first field; the restore read that follows works.
  struct Picky : SerialModuleBase {
    Picky() : SerialModuleBase("P", 1) {}
    int x = 0, y = 0, reads = 0;
    void serial_fields(serial_list& l, unsigned) override {
      l.add(x);
      if (l.reading() && ++reads == 1) throw std::runtime_error("bad value");
      l.add(y);
    }
  };
  Picky src, dst;
  src.x = 1;
  src.y = 2;
  dst.x = 10;
  dst.y = 20;
  ModuleList sl, dl;
  sl.register_module(src);
  dl.register_module(dst);
  std::vector<std::string> errors;
  auto r = load(dl, save(sl), &errors);
  EXPECT_EQ(r.read, 0);
  EXPECT_EQ(r.skipped, 1);
  EXPECT_EQ(dst.x, 10) << "the half-read field must be put back";
  EXPECT_EQ(dst.y, 20);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("bad value"), std::string::npos);
}

}  // namespace
