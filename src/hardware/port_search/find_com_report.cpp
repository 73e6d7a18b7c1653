#include "hardware/port_search/find_com_report.h"

#include "hardware/comm_protocols.h"

namespace hardware {

FindComReport::FindComReport(const CommProtocols& hub) : hub_(hub) {}

std::string FindComReport::protocol_name(std::int32_t id) const {
  const Protocol* p = hub_.protocol_at(hub_.get_protocol_number(id));
  return p ? p->name : std::to_string(id);
}

std::string FindComReport::progress_text(const FindComProgress& progress) const {
  const Protocol* p = hub_.protocol_at(progress.protocol_position);
  const std::string name = p ? p->name : std::string();
  return "Тестируется " + name + " Порт " + progress.port +
         ", Адрес УСО:" + std::to_string(progress.address);
}

FindComOutcome FindComReport::outcome(const std::vector<SearchResult>& results, bool cancelled) {
  if (cancelled) return FindComOutcome::kCancelled;
  if (results.empty()) return FindComOutcome::kNothingFound;
  return results.size() == 1 ? FindComOutcome::kSingleFound : FindComOutcome::kSeveralFound;
}

std::string FindComReport::outcome_text(const std::vector<SearchResult>& results,
                                        bool cancelled) const {
  switch (outcome(results, cancelled)) {
    case FindComOutcome::kCancelled:
      return find_com_text::kCancelled;
    case FindComOutcome::kNothingFound:
      return find_com_text::kNothingFound;
    case FindComOutcome::kSingleFound:
      return "Найденное УСО: \"" + protocol_name(results.front().protocol_id) + "\" на порте " +
             results.front().port;
    case FindComOutcome::kSeveralFound:
      break;
  }
  return find_com_text::kSeveralFound;
}

lib::TextGrid FindComReport::result_grid(const std::vector<SearchResult>& results) const {
  lib::TextGrid grid({kIdTitle, kNameTitle, kPortTitle, kAddressesTitle});
  for (std::size_t i = 0; i < results.size(); ++i) {
    const SearchResult& r = results[i];
    grid.set_cell(i + 1, 0, std::to_string(r.protocol_id));
    grid.set_cell(i + 1, 1, protocol_name(r.protocol_id));
    grid.set_cell(i + 1, 2, r.port);
    grid.set_cell(i + 1, 3, r.addresses);
  }
  return grid;
}

std::optional<SearchResult> FindComReport::chosen(const std::vector<SearchResult>& results,
                                                  std::optional<std::size_t> pick) {
  if (results.size() == 1) return results.front();
  if (!pick || *pick >= results.size()) return std::nullopt;
  return results[*pick];
}

}  // namespace hardware
