#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "formula/calculator.h"
#include "formula/resolver.h"

namespace {

// Stands in for the station's value registry: get() reads the current value by name.
class FakeRegistry {
 public:
  std::map<std::string, double> values;
  int reads = 0;
  double get(const std::string& name) {
    ++reads;
    const auto it = values.find(name);
    return it == values.end() ? 0 : it->second;
  }
};

TEST(ResolverTest, RegistryResolverReadsCurrentValuesByReference) {
  FakeRegistry registry;
  registry.values["глубина"] = 100;
  const formula::Resolver resolver = formula::registry_resolver(registry);
  EXPECT_EQ(formula::Calculator::calculate("глубина/2", resolver), 50);
  registry.values["глубина"] = 300;
  EXPECT_EQ(formula::Calculator::calculate("глубина/2", resolver), 150);
  EXPECT_EQ(registry.reads, 2);
}

TEST(ResolverTest, AnyNameGetterCanBeWrapped) {
  // A getter returning another arithmetic type, keeping state between calls.
  int calls = 0;
  const formula::Resolver counting =
      formula::make_resolver([calls](const std::string& name) mutable {
        return static_cast<int>(name.size()) * 10 + ++calls;
      });
  EXPECT_EQ(formula::Calculator::calculate("ab", counting), 21);
  // A shared getter through std::ref sees every call.
  FakeRegistry registry;
  auto getter = [&registry](const std::string& name) { return registry.get(name); };
  const formula::Resolver shared = formula::make_resolver(std::ref(getter));
  formula::Calculator::calculate("a+b+c", shared);
  EXPECT_EQ(registry.reads, 3);
}

}  // namespace
