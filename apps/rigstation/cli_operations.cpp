// rigstation operations [--json]: the operation dictionary as the station uses it: the
// operations with their colours, modes, WITS activity codes and CSS classes, the
// sub-operations and their operations, the work types, the production-time types and the
// rules that turn an operation and the bit run's purpose into a work type.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "calc/operations.h"
#include "calc/work_mode.h"
#include "command_registry.h"
#include "json_output.h"

namespace {

using calc::Operations;

// Production-time types the station knows by name.
constexpr int kProdTimeTypes[] = {calc::kNonProductiveTime, calc::kProductiveTime, calc::kNzpvTime};

// A rule list as text: "any", or the entries joined by commas.
std::string list_text(const std::array<std::int32_t, calc::kRuleListSize>& list) {
  std::string out;
  for (std::int32_t e : list) {
    if (e == calc::kRuleAny) return "any";
    if (e == calc::kRuleEmpty) continue;
    out += (out.empty() ? "" : ",") + std::to_string(e);
  }
  return out;
}

nlohmann::json list_json(const std::array<std::int32_t, calc::kRuleListSize>& list) {
  nlohmann::json out = nlohmann::json::array();
  for (std::int32_t e : list) {
    if (e == calc::kRuleAny) return "any";
    if (e != calc::kRuleEmpty) out.push_back(e);
  }
  return out;
}

nlohmann::json colour_json(std::uint32_t colour) {
  return {{"host", colour}, {"css", calc::css_colour(colour)}};
}

void print_text(const Operations& d) {
  std::vector<int> ids;
  std::printf("Operations (colours as #rrggbb; the window background shows as #ffffff)\n");
  std::printf("%3s  %-18s %4s  %-7s  %-7s  %4s  %-17s  %s\n", "id", "key", "mode", "colour", "fill",
              "WITS", "css class", "name");
  d.enum_values(ids);
  for (int id : ids) {
    std::printf("%3d  %-18s %4d  %-7s  %-7s  %4d  %-17s  %s\n", id, d.get_key(id).c_str(),
                d.get_mode(id), calc::css_colour(d.get_color(id)).c_str(),
                calc::css_colour(d.get_fill_color(id)).c_str(), d.get_WITS_code(id),
                d.css_class(id).c_str(), d.get(id).c_str());
  }

  std::printf("\nSub-operations (the first of an operation is the one set with it)\n");
  std::printf("%3s  %4s  %4s  %-7s  %-7s  %s\n", "id", "oper", "mode", "colour", "fill", "name");
  for (int id = 0; d.find_suboperation(id) != nullptr; ++id) {
    const calc::OperationEntry& e = *d.find_suboperation(id);
    std::printf("%3d  %4d  %4d  %-7s  %-7s  %s\n", id, e.parent, e.mode,
                calc::css_colour(e.color).c_str(), calc::css_colour(e.fill_color).c_str(),
                e.name.c_str());
  }

  std::printf("\nWork types\n");
  std::printf("%3s  %4s  %-7s  %-7s  %s\n", "id", "mode", "colour", "fill", "name");
  d.enum_works(ids);
  for (int id : ids) {
    std::printf("%3d  %4d  %-7s  %-7s  %s\n", id, d.get_work_type_mode(id),
                calc::css_colour(d.get_work_type_color(id)).c_str(),
                calc::css_colour(d.get_work_type_fill_color(id)).c_str(),
                d.get_work_type(id).c_str());
  }

  std::printf("\nProduction time\n");
  std::printf("%3s  %-7s  %s\n", "id", "colour", "name");
  for (int id : kProdTimeTypes) {
    std::printf("%3d  %-7s  %s\n", id,
                calc::css_colour(Operations::get_production_time_color(id)).c_str(),
                Operations::get_production_time(id).c_str());
  }

  std::printf(
      "\nWork-mode rules (purpose code: the number in brackets ending the bit run's purpose;\n"
      "every matching rule is applied in order, so a later one overrides an earlier one;\n"
      "when none matches: work type 0, production time 1)\n");
  std::printf("%4s  %-44s  %-27s  %s\n", "rule", "purpose codes", "operations",
              "work type / production time");
  int n = 0;
  for (const calc::WorkModeRule& r : calc::work_mode_rules()) {
    std::printf("%4d  %-44s  %-27s  %d %s / %d %s\n", ++n, list_text(r.purposes).c_str(),
                list_text(r.operations).c_str(), r.work_type, d.get_work_type(r.work_type).c_str(),
                r.prod_time, Operations::get_production_time(r.prod_time).c_str());
  }
}

void print_json(const Operations& d) {
  nlohmann::json j;
  std::vector<int> ids;
  d.enum_values(ids);
  j["operations"] = nlohmann::json::array();
  for (int id : ids) {
    std::vector<int> subs;
    d.enum_suboperations(subs, id);
    j["operations"].push_back({{"id", id},
                               {"key", d.get_key(id)},
                               {"name", d.get(id)},
                               {"mode", d.get_mode(id)},
                               {"color", colour_json(d.get_color(id))},
                               {"fill_color", colour_json(d.get_fill_color(id))},
                               {"wits_code", d.get_WITS_code(id)},
                               {"css_class", d.css_class(id)},
                               {"suboperations", subs}});
  }
  j["suboperations"] = nlohmann::json::array();
  for (int id = 0; d.find_suboperation(id) != nullptr; ++id) {
    const calc::OperationEntry& e = *d.find_suboperation(id);
    j["suboperations"].push_back({{"id", id},
                                  {"name", e.name},
                                  {"mode", e.mode},
                                  {"color", colour_json(e.color)},
                                  {"fill_color", colour_json(e.fill_color)},
                                  {"operation", e.parent}});
  }
  d.enum_works(ids);
  j["work_types"] = nlohmann::json::array();
  for (int id : ids) {
    j["work_types"].push_back({{"id", id},
                               {"name", d.get_work_type(id)},
                               {"mode", d.get_work_type_mode(id)},
                               {"color", colour_json(d.get_work_type_color(id))},
                               {"fill_color", colour_json(d.get_work_type_fill_color(id))}});
  }
  j["production_times"] = nlohmann::json::array();
  for (int id : kProdTimeTypes) {
    j["production_times"].push_back(
        {{"id", id},
         {"name", Operations::get_production_time(id)},
         {"color", colour_json(Operations::get_production_time_color(id))}});
  }
  j["work_mode_rules"] = nlohmann::json::array();
  for (const calc::WorkModeRule& r : calc::work_mode_rules()) {
    j["work_mode_rules"].push_back({{"purpose_codes", list_json(r.purposes)},
                                    {"operations", list_json(r.operations)},
                                    {"work_type", r.work_type},
                                    {"prod_time", r.prod_time}});
  }
  rigstation::print_json(j);
}

void add_operations_command(CLI::App& app, rigstation::CommandContext& /*context*/) {
  auto json = std::make_shared<bool>(false);
  CLI::App* cmd = app.add_subcommand(
      "operations",
      "The operation dictionary: operations, sub-operations, work types, production time and "
      "the work-mode rules");
  cmd->add_flag("--json", *json, "Print it as one JSON document on one line");
  cmd->callback([json] {
    const Operations& d = Operations::standard();
    if (*json) {
      print_json(d);
    } else {
      print_text(d);
    }
  });
}

}  // namespace

RIGSTATION_COMMAND("operations", add_operations_command);
