// The data side of the port search dialog: the texts it shows while searching and at the
// end, the grid of results, and which result the caller takes. Whatever shows them (a
// window, the command line) only displays these texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hardware/port_search/find_com_thread.h"
#include "lib/text_grid.h"

namespace hardware {

namespace find_com_text {
inline constexpr const char* kSearching = "Идёт поиск УСО...";
inline constexpr const char* kCancelling = "Отменяется операция поиска, ждите...";
inline constexpr const char* kCancelled = "Настройка отменена пользователем";
inline constexpr const char* kNothingFound = "Не удалось обнаружить подключенных УСО!!!";
inline constexpr const char* kSeveralFound = "Найдено несколько УСО";
inline constexpr const char* kChoiceMade = "Выбор сделан, ждите...";
}  // namespace find_com_text

enum class FindComOutcome { kCancelled, kNothingFound, kSingleFound, kSeveralFound };

class FindComReport {
 public:
  // Column titles of the result grid.
  static constexpr const char* kIdTitle = "Протокол";
  static constexpr const char* kNameTitle = "Название";
  static constexpr const char* kPortTitle = "Порт";
  static constexpr const char* kAddressesTitle = "Адреса";

  // The hub gives the protocol names; it must outlive the report.
  explicit FindComReport(const CommProtocols& hub);

  // "Тестируется <protocol> Порт <device path>, Адрес УСО:<address>".
  std::string progress_text(const FindComProgress& progress) const;

  static FindComOutcome outcome(const std::vector<SearchResult>& results, bool cancelled);
  // What the dialog says once the search is over; for a single find
  // "Найденное УСО: "<protocol>" на порте <port>".
  std::string outcome_text(const std::vector<SearchResult>& results, bool cancelled) const;

  // One row per result under the title row: id, protocol name, port, addresses.
  lib::TextGrid result_grid(const std::vector<SearchResult>& results) const;

  // The result the caller configures: the only one, or the data row `pick` (0-based) the
  // user chose among several; nothing when the pick is missing or outside the results.
  static std::optional<SearchResult> chosen(const std::vector<SearchResult>& results,
                                            std::optional<std::size_t> pick);

  // A protocol's name, or its id as text when the hub does not know it.
  std::string protocol_name(std::int32_t id) const;

 private:
  const CommProtocols& hub_;
};

}  // namespace hardware
