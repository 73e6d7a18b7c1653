// Reading a recording from where the office stands, as it grows: whatever bytes the station
// has appended when a read comes (a block cut in the middle, damage, a new writer run), and
// whatever reads are lost before their lines are shipped, every line the reader finds in the
// whole file is handed on exactly once, at its offset, with its values and parameter list.
// The oracle is the reader itself over the finished file.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "office/recording_tail.h"
#include "office_test_support.h"
#include "storage/real_time_reader.h"

namespace {

struct Shipped {
  std::uint64_t params_at = 0;
  std::vector<std::string> ids;
  std::vector<float> values;
  std::uint32_t time = 0;
};

// Takes what a read hands on and "ships" it at random boundaries; a read may then be lost
// (the shipment after its last boundary never arrives), as when the link or the forwarder
// dies mid-read.
class Shipper final : public office::TailSink {
 public:
  explicit Shipper(std::mt19937& rng) : rng_(rng) {}

  void boundary(const office::FilePosition& at) override {
    if (rng_() % 5 == 0) commit(at);
  }
  void text(rtf::RecordedText&& t) override { pending_texts_.push_back(t.offset); }
  void params(std::uint64_t offset, const rtf::ParamList& list) override {
    pending_params_[offset] = list;
  }
  void line(const rtf::LineView& l, std::uint64_t params_at) override {
    Shipped s{params_at, {}, {}, l.time};
    for (const auto& p : **l.params) s.ids.push_back(p.identifier);
    for (std::size_t i = 0; i < l.count; ++i) s.values.push_back(l.value(i));
    pending_.emplace_back(l.offset, std::move(s));
  }
  void problem(const rtf::ReadProblem&, bool) override {}

  void commit(const office::FilePosition& at) {
    for (auto& [offset, s] : pending_) {
      EXPECT_TRUE(lines.emplace(offset, s).second) << "line at " << offset << " doubled";
      // The line names the parameter block it is read against, which was shipped before it.
      EXPECT_TRUE(params_seen.count(s.params_at) || pending_params_.count(s.params_at))
          << "line at " << offset;
    }
    for (auto& [offset, list] : pending_params_) params_seen[offset] = list;
    for (std::uint64_t t : pending_texts_) EXPECT_TRUE(texts.insert(t).second) << "text doubled";
    pending_.clear();
    pending_params_.clear();
    pending_texts_.clear();
    committed = at;
  }
  void lose() {
    pending_.clear();
    pending_params_.clear();
    pending_texts_.clear();
  }

  office::FilePosition committed;
  std::map<std::uint64_t, Shipped> lines;
  std::map<std::uint64_t, rtf::ParamList> params_seen;
  std::set<std::uint64_t> texts;

 private:
  std::mt19937& rng_;
  std::vector<std::pair<std::uint64_t, Shipped>> pending_;
  std::map<std::uint64_t, rtf::ParamList> pending_params_;
  std::vector<std::uint64_t> pending_texts_;
};

TEST(RecordingTail, EveryLineOnceWhateverTheReadsMeet) {
  const std::string whole = office_test::sample_recording(40);
  const rtf::RecordingContents oracle = rtf::read_recording(whole);
  ASSERT_FALSE(oracle.problems.empty());  // the damaged stretch is in the sample
  for (unsigned seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    testing_support::TempDir dir;
    const std::string path = dir.file("0004.realtim");
    std::mt19937 rng(seed);
    Shipper shipper(rng);
    // The file grows by a few bytes to a few blocks at a time; the last step appends half
    // a line that is never finished (a station killed while writing).
    const std::string with_cut = whole + whole.substr(whole.size() - 200, 30);
    std::size_t written = 0;
    while (written < with_cut.size()) {
      const std::size_t n = std::min<std::size_t>(1 + rng() % 700, with_cut.size() - written);
      office_test::append_file(path, with_cut.substr(written, n));
      written += n;
      const office::FilePosition end =
          office::read_tail(path, lib::posix_file_system(), shipper.committed, shipper);
      if (rng() % 3 == 0) {
        shipper.lose();
      } else {
        shipper.commit(end);
      }
    }
    office::FilePosition end =
        office::read_tail(path, lib::posix_file_system(), shipper.committed, shipper);
    shipper.commit(end);
    // The read stops before the cut line, which stays to be read when it is whole.
    EXPECT_EQ(end.resume, whole.size());
    EXPECT_EQ(end.lines, oracle.lines.size());
    ASSERT_EQ(shipper.lines.size(), oracle.lines.size());
    for (const rtf::RecordedLine& l : oracle.lines) {
      const auto it = shipper.lines.find(l.offset);
      ASSERT_NE(it, shipper.lines.end()) << "line at " << l.offset << " lost";
      EXPECT_EQ(it->second.values, l.line.values);
      EXPECT_EQ(it->second.time, l.line.time);
      EXPECT_EQ(it->second.ids.size(), l.params->size());
      EXPECT_EQ(*shipper.params_seen.at(it->second.params_at), *l.params);
    }
    EXPECT_EQ(shipper.texts.size(), oracle.texts.size());
  }
}

TEST(RecordingTail, AFileChangedUnderThePositionIsSaid) {
  testing_support::TempDir dir;
  const std::string path = dir.file("0001.realdep");
  office_test::write_file(path, office_test::sample_recording(5));
  std::mt19937 rng(1);
  Shipper shipper(rng);
  const office::FilePosition end = office::read_tail(path, lib::posix_file_system(), {}, shipper);
  // Another file of the same length but other blocks where the position's parameter block was.
  office_test::RecordingBytes other;
  other.version().params(office_test::params(2)).lines(40, 2);
  office_test::write_file(path, other.bytes);
  struct Said final : office::TailSink {
    std::vector<std::string> problems;
    void boundary(const office::FilePosition&) override {}
    void text(rtf::RecordedText&&) override {}
    void params(std::uint64_t, const rtf::ParamList&) override {}
    void line(const rtf::LineView&, std::uint64_t) override {}
    void problem(const rtf::ReadProblem& p, bool) override { problems.push_back(p.what); }
  } said;
  office::read_tail(path, lib::posix_file_system(), end, said);
  ASSERT_FALSE(said.problems.empty());
  EXPECT_NE(said.problems.front().find("changed behind the recorder"), std::string::npos)
      << said.problems.front();
}

}  // namespace
