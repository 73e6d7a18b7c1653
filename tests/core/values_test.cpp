#include "registry/values.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

using namespace reg;

namespace {

// A data storage stand-in: averaged reads, current writes and a two-row table.
struct FakeStorage : ValuesBackend {
  std::map<std::string, double> averages, currents;
  double get_average(const std::string& name) override {
    auto it = averages.find(name);
    return it == averages.end() ? 0.0 : it->second;
  }
  void set_current(const std::string& name, double value) override { currents[name] = value; }
  bool get_table_param(const std::string& name, ValueParam& p) override {
    if (!lib::ident_equal(name, "вес_на_крюке")) return false;
    p = {"Вес на крюке", "Вес", "т", "вес_на_крюке", 0};
    return true;
  }
  void enum_table_params(std::vector<ValueParam>& out) override {
    out.push_back({"Вес на крюке", "Вес", "т", "вес_на_крюке", 0});
    out.push_back({"Давление на входе", "Давл", "атм", "давление_на_входе", 0});
  }
};

struct Registry {
  lib::lock_object lock{lib::lock_object::kInProcess};
  FakeStorage storage;
  Values values{lock, &storage};
};

// A store that knows which identifiers its table holds.
struct TableStorage : FakeStorage {
  bool has_param(const std::string& name) override {
    return lib::ident_equal(name, "вес_на_крюке") || lib::ident_equal(name, "давление_на_входе");
  }
};

// A misspelt name reads 0 and a write through it is lost, as before; now the error log is
// told once per name and the caller can ask.
TEST(Values, UnknownNamesAreReportedOnceAndCanBeAskedFor) {
  lib::lock_object lock{lib::lock_object::kInProcess};
  TableStorage storage;
  Values values{lock, &storage};
  std::vector<std::string> log;
  values.set_error_sink([&](const std::string& m) { log.push_back(m); });
  storage.averages["вес_на_крюке"] = 87.5;
  values.register_value("ds.depth_z", "Глубина забоя", "м", kValuePlain, [] { return 10.0; });

  for (int tick = 0; tick < 5; ++tick) EXPECT_EQ(values.get("вес_на_крюкe"), 0.0);  // Latin e
  ASSERT_EQ(log.size(), 1u) << "once per name, not every tick";
  EXPECT_NE(log[0].find("\"вес_на_крюкe\""), std::string::npos) << log[0];
  EXPECT_EQ(values.find("вес_на_крюкe"), std::nullopt);
  EXPECT_EQ(values.find("вес_на_крюке"), 87.5);
  EXPECT_TRUE(values.has_value("ВЕС_НА_КРЮКЕ"));
  EXPECT_EQ(values.find("DS.DEPTH_Z"), 10.0);
  EXPECT_TRUE(values.has_value("ds.depth_z"));
  EXPECT_TRUE(values.has_value("давление_на_входе"));
  EXPECT_FALSE(values.has_value("давление_на_вхде"));

  EXPECT_TRUE(values.set("давление_на_входе", 12));
  EXPECT_EQ(storage.currents["давление_на_входе"], 12.0);
  EXPECT_FALSE(values.set("давленее_на_входе", 3));
  EXPECT_FALSE(values.set("давленее_на_входе", 4));
  EXPECT_EQ(storage.currents.count("давленее_на_входе"), 0u);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_NE(log[1].find("\"давленее_на_входе\""), std::string::npos) << log[1];
  EXPECT_NE(log[1].find("lost"), std::string::npos) << log[1];
  EXPECT_EQ(values.get("ds.depth_z"), 10.0);
  EXPECT_EQ(log.size(), 2u) << "registered and table names are never reported";
}

TEST(Values, RegisteredNamesIgnoreCaseAndTheFirstRegistrationWins) {
  Registry r;
  r.values.register_value("ds.depth_z", "Глубина забоя", "м", kValuePlain, [] { return 1234.5; });
  r.values.register_value("DS.DEPTH_Z", "другое", "", kValueCount, [] { return -1.0; });
  r.values.register_value("ГЛУБИНА", "Глубина", "м", kValuePlain, [] { return 7.0; });
  EXPECT_EQ(r.values.get("ds.depth_z"), 1234.5);
  EXPECT_EQ(r.values.get("DS.DEPTH_Z"), 1234.5);
  EXPECT_EQ(r.values.get("глубина"), 7.0);

  ValueParam p;
  ASSERT_TRUE(r.values.get_param("Ds.Depth_Z", p));
  EXPECT_EQ(p, (ValueParam{"Глубина забоя", "Глубина забоя", "м", "ds.depth_z", kValuePlain}));
}

TEST(Values, UnregisteredNamesFallThroughToTheStorage) {
  Registry r;
  r.storage.averages["вес_на_крюке"] = 87.5;
  EXPECT_EQ(r.values.get("вес_на_крюке"), 87.5);
  EXPECT_EQ(r.values.get("нет_такого"), 0.0);

  r.values.register_value("ds.depth_z", "Глубина забоя", "м", kValuePlain, [] { return 10.0; });
  r.values.set("ds.depth_z", 5);
  EXPECT_EQ(r.values.get("ds.depth_z"), 10.0) << "set never changes a registered value";
  EXPECT_EQ(r.storage.currents["ds.depth_z"], 5.0) << "it writes the storage's current value";

  Values alone(r.lock);
  EXPECT_EQ(alone.get("вес_на_крюке"), 0.0);
  alone.set("вес_на_крюке", 3);  // no storage attached: nothing to write, no failure
  ValueParam untouched{"a", "b", "c", "d", 2};
  EXPECT_FALSE(alone.get_param("вес_на_крюке", untouched));
  EXPECT_EQ(untouched, (ValueParam{"a", "b", "c", "d", 2}));
}

TEST(Values, VariablesAreCaseSensitive) {
  Registry r;
  r.values.set_variable("race_num", "12");
  EXPECT_EQ(r.values.get_variable("race_num"), "12");
  EXPECT_EQ(r.values.get_variable("Race_Num"), "");
  EXPECT_TRUE(r.values.param_exists("race_num"));
  EXPECT_FALSE(r.values.param_exists("RACE_NUM"));
  r.values.set_variable("race_num", "13");
  r.values.set_variable("KoefPolispast", " 2,5 ");
  EXPECT_EQ(r.values.get_float_variable("KoefPolispast"), 2.5);
  EXPECT_EQ(r.values.get_float_variable("нет"), 0.0);
  std::vector<std::string> names{"stale"};
  r.values.enum_variables(names);
  EXPECT_EQ(names, (std::vector<std::string>{"KoefPolispast", "race_num"}));
}

TEST(Values, FunctionsByArityWithFirstRegistrationKept) {
  Registry r;
  r.values.register_function1("квадрат", [](double a) { return a * a; });
  r.values.register_function1("КВАДРАТ", [](double) { return -1.0; });
  r.values.register_function2("hyp", [](double a, double b) { return std::hypot(a, b); });
  r.values.register_function3("mid", [](double a, double b, double c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
  });
  EXPECT_EQ(r.values.call_function1("Квадрат", 3), 9.0);
  EXPECT_EQ(r.values.call_function2("HYP", 3, 4), 5.0);
  EXPECT_EQ(r.values.call_function3("mid", 1, 9, 5), 5.0);
  EXPECT_EQ(r.values.call_function2("квадрат", 3, 4), 0.0) << "arities are separate name spaces";
  EXPECT_EQ(r.values.call_function2("unknown", 1, 2), 0.0);
}

TEST(Values, GetterMayCallBackIntoTheRegistryAndOtherThreadsWait) {
  Registry r;
  r.values.register_value("a", "", "", kValuePlain, [] { return 2.0; });
  r.values.register_value("b", "", "", kValuePlain, [&] { return r.values.get("a") * 10; });
  EXPECT_EQ(r.values.get("b"), 20.0);

  // A writer thread and a reader thread hammer the registry; the lock keeps the maps sane.
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i)
      r.values.set_variable("v" + std::to_string(i % 50), std::to_string(i));
    stop = true;
  });

  do {  // at least one read, however fast the writer finishes
    std::vector<std::string> names;
    r.values.enum_variables(names);
    EXPECT_LE(names.size(), 50u);

  } while (!stop);
  writer.join();
  std::vector<std::string> names;
  r.values.enum_variables(names);
  EXPECT_EQ(names.size(), 50u);
}

}  // namespace
