#include "hardware/sim/bus2017_sim_setup.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

namespace hardware {

namespace {

using bus2017::is_console_address;
using bus2017::is_indicator_address;
using bus2017::is_module_address;

// A whole decimal or 0x-hexadecimal number within [lo, hi]; nullopt for anything else
// (signs, blanks, trailing characters, overflow).
std::optional<long> parse_number(std::string_view text, long lo, long hi) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return std::nullopt;
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (value < lo || value > hi) return std::nullopt;
  return value;
}

// "ADDR" or "ADDR<sep>REST"; splits at the first separator.
struct Split {
  std::string_view head;
  std::optional<std::string_view> tail;
};
Split split_at(std::string_view text, char sep) {
  const auto pos = text.find(sep);
  if (pos == std::string_view::npos) return {text, std::nullopt};
  return {text.substr(0, pos), text.substr(pos + 1)};
}

std::string bad(std::string_view option, std::string_view value, std::string_view why) {
  return fmt::format("--{} {}: {}", option, value, why);
}

class Applier {
 public:
  explicit Applier(Bus2017Sim& sim) : sim_(sim) {}

  std::string devices(const Bus2017SimSetup& s) {
    for (const auto& v : s.modules) {
      const auto [addr, version] = split_at(v, ':');
      const auto a = parse_number(addr, 1, 255);
      if (!a || !is_module_address(static_cast<int>(*a)))
        return bad("module", v, "address must be 1..32 or 97..255");
      long ver = 0;
      if (version) {
        const auto parsed = parse_number(*version, 0, 0xFFFF);
        if (!parsed) return bad("module", v, "data version must be 0..65535 (0 or 101)");
        ver = *parsed;
      }
      if (auto e = taken("module", v, *a); !e.empty()) return e;
      sim_.add_module(static_cast<std::uint8_t>(*a), static_cast<std::uint16_t>(ver));
    }
    for (const auto& v : s.indicators) {
      const auto [addr, type] = split_at(v, ':');
      const auto a = parse_number(addr, 1, 255);
      if (!a || !is_indicator_address(static_cast<int>(*a)))
        return bad("indicator", v, "address must be 33..64");
      long t = 1;
      if (type) {
        const auto parsed = parse_number(*type, 0, 255);
        if (!parsed) return bad("indicator", v, "type must be 0..255");
        t = *parsed;
      }
      if (auto e = taken("indicator", v, *a); !e.empty()) return e;
      sim_.add_indicator(static_cast<std::uint8_t>(*a), static_cast<std::uint8_t>(t));
    }
    for (const auto& v : s.consoles) {
      const auto a = parse_number(v, 1, 255);
      if (!a || !is_console_address(static_cast<int>(*a)))
        return bad("console", v, "address must be 65..96");
      if (auto e = taken("console", v, *a); !e.empty()) return e;
      sim_.add_console(static_cast<std::uint8_t>(*a));
    }
    return {};
  }

  std::string values(const Bus2017SimSetup& s) {
    for (const auto& v : s.adc) {
      const auto [addr, assignment] = split_at(v, ':');
      const auto a = device_address("adc", v, addr);
      if (!a) return error_;
      const auto [channel, value] = assignment ? split_at(*assignment, '=') : Split{};
      if (!assignment || !value) return bad("adc", v, "expected ADDR:CHANNEL=VALUE");
      const auto word = parse_number(*value, 0, 0xFFFF);
      if (!word) return bad("adc", v, "value must be 0..65535");
      if (auto* m = sim_.module(*a)) {
        const auto ch = parse_number(channel, 0, bus2017::kAdcWords - 1);
        if (!ch) return bad("adc", v, "a module's channel must be 0..47");
        m->adc[static_cast<std::size_t>(*ch)] = static_cast<std::uint16_t>(*word);
      } else if (auto* c = sim_.console(*a)) {
        const auto ch = parse_number(channel, 0, old_block::kAdcChannels - 1);
        if (!ch) return bad("adc", v, "a console's channel must be 0..23");
        c->adc[static_cast<std::size_t>(*ch)] = static_cast<std::uint16_t>(*word);
      } else {
        return bad("adc", v, "an indicator has no ADC channels");
      }
    }
    return {};
  }

  std::string faults(const Bus2017SimSetup& s) {
    for (const auto& v : s.silent) {
      const auto a = device_address("silent", v, v);
      if (!a) return error_;
      sim_.faults(*a).silent = true;
    }
    for (const auto& v : s.answer_once) {
      const auto a = device_address("answer-once", v, v);
      if (!a) return error_;
      sim_.faults(*a).answers_left = 1;
    }
    struct Counted {
      const char* option;
      const std::vector<std::string>& values;
      long hi;
      int Bus2017SimFaults::*field;
    };
    const Counted counted[] = {
        {"duplicates", s.duplicates, 1'000'000, &Bus2017SimFaults::duplicates},
        {"drop", s.drop, 1'000'000, &Bus2017SimFaults::drop_next},
        {"garble", s.garble, 1'000'000, &Bus2017SimFaults::garble_next},
        {"delay", s.delay, 10'000, &Bus2017SimFaults::reply_delay_ms}};
    for (const auto& c : counted) {
      for (const auto& v : c.values) {
        const auto [addr, count] = split_at(v, ':');
        const auto a = device_address(c.option, v, addr);
        if (!a) return error_;
        const auto n = count ? parse_number(*count, 0, c.hi) : std::nullopt;
        if (!n) return bad(c.option, v, fmt::format("expected ADDR:N with N 0..{}", c.hi));
        sim_.faults(*a).*c.field = static_cast<int>(*n);
      }
    }
    for (const auto& v : s.result) {
      const auto [addr, byte] = split_at(v, ':');
      const auto a = device_address("result", v, addr);
      if (!a) return error_;
      const auto b = byte ? parse_number(*byte, 0, 255) : std::nullopt;
      if (!b) return bad("result", v, "expected ADDR:BYTE with BYTE 0..255");
      sim_.faults(*a).result = static_cast<std::uint8_t>(*b);
    }
    return {};
  }

 private:
  std::string taken(std::string_view option, std::string_view value, long address) {
    const auto here = sim_.addresses();
    if (std::find(here.begin(), here.end(), address) != here.end())
      return bad(option, value, "address already has a device");
    return {};
  }

  // The address of an existing device; on failure error_ says why.
  std::optional<std::uint8_t> device_address(std::string_view option, std::string_view value,
                                             std::string_view text) {
    const auto a = parse_number(text, 1, 255);
    if (!a) {
      error_ = bad(option, value, "address must be 1..255");
      return std::nullopt;
    }
    const auto here = sim_.addresses();
    if (std::find(here.begin(), here.end(), *a) == here.end()) {
      error_ = bad(option, value, "no device at this address");
      return std::nullopt;
    }
    return static_cast<std::uint8_t>(*a);
  }

  Bus2017Sim& sim_;
  std::string error_;
};

}  // namespace

std::string apply_bus2017_sim_setup(const Bus2017SimSetup& setup, Bus2017Sim& sim) {
  Applier applier(sim);
  if (auto e = applier.devices(setup); !e.empty()) return e;
  if (auto e = applier.values(setup); !e.empty()) return e;
  return applier.faults(setup);
}

}  // namespace hardware
