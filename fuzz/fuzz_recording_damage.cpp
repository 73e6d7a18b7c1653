// Builds a recording as the writer lays it out (writer runs, texts, lines over three parameter
// lists) from the first bytes of the input, damages it as the last bytes say (up to three
// flipped bits, or a stretch overwritten with one byte), and holds the reader to its promise:
// damage costs only the blocks it hits. Every line whose own block is whole and one of whose
// parameter block's copies is whole is read; every line read was written at that offset, with
// its values and against its own parameters, in order.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "storage/real_time_reader.h"
#include "storage/real_time_records.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  unsigned next() { return at_ < size_ ? data_[at_++] : 0; }
  bool left() const { return at_ < size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Span {
  std::size_t from = 0, to = 0;  // [from, to)
};

struct WrittenLine {
  Span block;
  Span copies[2];  // of the parameter block it is read against
  std::vector<float> values;
  std::string first_identifier;
};

rtf::ParamList list(std::vector<const char*> ids) {
  auto l = std::make_shared<std::vector<rtf::RecordedParam>>();
  for (const char* id : ids) l->push_back({id, "m", id, id, 0, 100});
  return l;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const rtf::ParamList lists[] = {list({"a", "b"}), list({"b", "a"}), list({"a", "b", "c"})};
  Input in(data, size);
  std::string file;
  std::vector<WrittenLine> written;
  const unsigned runs = 1 + in.next() % 3;
  for (unsigned run = 0; run < runs; ++run) {
    rtf::append_version_block(file);
    int in_force = -1;
    Span copies[2];
    std::uint32_t check = 0;
    for (unsigned n = in.next() % 16; n > 0; --n) {
      const unsigned what = in.next();
      if (what % 5 == 0) {
        rtf::TextWriterRecord(std::string(what % 40, 'k') + "=v").append(file, 0);
        continue;
      }
      const int chosen = static_cast<int>(what % 3);
      if (chosen != in_force) {
        const std::size_t from = file.size();
        check = rtf::append_params_block(file, *lists[chosen]);
        const std::size_t half = (file.size() - from) / 2;
        copies[0] = {from, from + half};
        copies[1] = {from + half, file.size()};
        in_force = chosen;
      }
      rtf::ValuesLine line;
      line.time = static_cast<std::uint32_t>(written.size());
      // Quarters of small numbers: exact, and with few byte patterns, so that no values
      // block can hide a sound block of its own in its values.
      for (std::size_t i = 0; i < lists[chosen]->size(); ++i) {
        line.values.push_back(0.25f * (static_cast<float>(in.next()) - 128));
      }
      const std::size_t from = file.size();
      rtf::append_values_block(file, line, check);
      written.push_back({{from, file.size()},
                         {copies[0], copies[1]},
                         line.values,
                         (*lists[chosen])[0].identifier});
    }
  }

  std::vector<bool> hit(file.size(), false);
  if (in.next() % 2 == 0) {
    for (unsigned n = 1 + in.next() % 3; n > 0 && in.left(); --n) {
      const std::size_t at = ((in.next() << 16) | (in.next() << 8) | in.next()) % file.size();
      file[at] = static_cast<char>(file[at] ^ (1 << (in.next() % 8)));
      hit[at] = true;
    }
  } else {
    const std::size_t from = ((in.next() << 8) | in.next()) % file.size();
    const std::size_t length = 1 + ((in.next() << 8) | in.next()) % 600;
    const char fill = static_cast<char>(in.next());
    for (std::size_t at = from; at < file.size() && at < from + length; ++at) {
      hit[at] = hit[at] || file[at] != fill;
      file[at] = fill;
    }
  }
  auto whole = [&](const Span& s) {
    for (std::size_t at = s.from; at < s.to; ++at) {
      if (hit[at]) return false;
    }
    return true;
  };

  const rtf::RecordingContents c = rtf::read_recording(file);
  std::size_t next = 0;  // the first written line not yet matched
  for (const rtf::RecordedLine& l : c.lines) {
    while (next < written.size() && written[next].block.from < l.offset) {
      const WrittenLine& w = written[next++];
      // Passed over: only when its block or both copies of its list were hit.
      if (whole(w.block) && (whole(w.copies[0]) || whole(w.copies[1]))) __builtin_trap();
    }
    if (next == written.size() || written[next].block.from != l.offset) __builtin_trap();
    const WrittenLine& w = written[next++];
    if (l.line.values != w.values || (*l.params)[0].identifier != w.first_identifier) {
      __builtin_trap();
    }
  }
  for (; next < written.size(); ++next) {
    const WrittenLine& w = written[next];
    if (whole(w.block) && (whole(w.copies[0]) || whole(w.copies[1]))) __builtin_trap();
  }
  return 0;
}
