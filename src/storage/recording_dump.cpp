#include "storage/recording_dump.h"

#include <iterator>

#include "lib/date_time.h"

namespace rtf {
namespace {

constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

std::string time_text(std::uint32_t seconds) {
  return lib::format_date_time({lib::kUnixEpochDays + seconds / lib::kSecondsPerDay});
}

}  // namespace

LineDumper::LineDumper(bool csv, std::function<void(std::string_view)> out)
    : csv_(csv), out_(std::move(out)) {}

void LineDumper::on_line(const LineView& l) {
  auto it = std::back_inserter(buf_);
  const char* sep = csv_ ? ";" : " ";
  const ParamList& params = *l.params;
  if (csv_ && header_ != params) {
    header_ = params;
    fmt::format_to(it, "time;first_depth;bit_depth;third_depth;operation");
    for (const RecordedParam& p : *header_) fmt::format_to(it, ";{}", p.identifier);
    buf_.push_back('\n');
  }
  fmt::format_to(it, "{}{}{}{}{}{}{}{}{}", time_text(l.time), sep, l.first_depth, sep, l.bit_depth,
                 sep, l.third_depth, sep, static_cast<int>(l.operation));
  for (std::size_t i = 0; i < l.count; ++i) {
    if (csv_) {
      fmt::format_to(it, "{}{}", sep, l.value(i));
    } else {
      fmt::format_to(it, "{}{}={}", sep, (*params)[i].identifier, l.value(i));
    }
  }
  buf_.push_back('\n');
  if (buf_.size() > kFlushBytes) flush();
}

void LineDumper::flush() {
  if (buf_.size() == 0) return;
  out_(std::string_view(buf_.data(), buf_.size()));
  buf_.clear();
}

}  // namespace rtf
