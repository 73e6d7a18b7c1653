// rigstation formula "EXPR" [--set name=value ...]: evaluates a formula as the station does
// and prints its value, or the calculator's error message exactly as the operator would
// see it. Names without a --set value read as 0, each noted on stderr.
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "command_registry.h"
#include "formula/calculator.h"
#include "formula/compiled_formula.h"
#include "lib/ident.h"
#include "lib/str_utils.h"

namespace {

constexpr int kExitFormulaError = 1;  // the formula raised an error (message on stderr)
constexpr int kExitBadSet = 2;        // a --set was not "name=number"; nothing evaluated

struct FormulaArgs {
  std::string text;
  std::vector<std::string> sets;
  bool compiled = false;
};

// Value names of the station compare without regard to case.
using ValueTable = std::map<std::string, double, lib::IdentLess>;

bool parse_sets(const std::vector<std::string>& sets, ValueTable& values) {
  for (const std::string& set : sets) {
    const std::size_t eq = set.find('=');
    double value = 0;
    const std::string name(eq == std::string::npos ? "" : lib::trim(set.substr(0, eq)));
    if (name.empty() || !lib::try_str_to_float(set.substr(eq + 1), value)) {
      std::fprintf(stderr, "formula: --set %s: expected name=number\n", set.c_str());
      return false;
    }
    values[name] = value;
  }
  return true;
}

// Shortest text that reads back to the same float; "-0" is written "0".
std::string format_value(float value) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  std::string text(buf, ec == std::errc() ? end : buf);
  return text == "-0" ? "0" : text;
}

int run_formula(const FormulaArgs& args) {
  ValueTable values;
  if (!parse_sets(args.sets, values)) return kExitBadSet;
  std::set<std::string, lib::IdentLess> unset;
  const formula::Resolver resolver = [&](const std::string& name) {
    const auto it = values.find(name);
    if (it != values.end()) return it->second;
    unset.insert(name);
    return 0.0;
  };
  float result = 0;
  try {
    result = args.compiled ? formula::CompiledFormula::compile(args.text).evaluate(resolver)
                           : formula::Calculator::calculate(args.text, resolver);
  } catch (const formula::FormulaException& e) {
    std::fprintf(stderr, "%s\n", e.text().c_str());
    return kExitFormulaError;
  }
  for (const std::string& name : unset) {
    std::fprintf(stderr, "formula: no value for '%s', read as 0\n", name.c_str());
  }
  std::printf("%s\n", format_value(result).c_str());
  return 0;
}

void add_formula_command(CLI::App& app, rigstation::CommandContext&) {
  auto args = std::make_shared<FormulaArgs>();
  CLI::App* cmd = app.add_subcommand(
      "formula",
      "Evaluate a formula and print its value, or its error message on stderr (exit code 1). "
      "A formula starting with \"-\" and a letter needs a leading blank (\" -a*2\"): blanks "
      "do not change a formula.");
  cmd->add_option("formula", args->text, "The formula, e.g. \"(a+b)*2\"")->required();
  cmd->add_option("--set", args->sets, "A value for a name: name=value (repeatable)");
  cmd->add_flag("--compiled", args->compiled,
                "Evaluate through the compiled form (same result, as used for every-tick values)");
  cmd->callback([args] {
    const int rc = run_formula(*args);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("formula", add_formula_command);
