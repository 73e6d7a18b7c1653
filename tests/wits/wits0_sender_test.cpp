// The sending side of WITS level 0: the server our station and tools send through, the frames
// they send (from values, from other senders' captures, from a synthetic rig), the list of
// what a station publishes, and the dump of a stream with the item dictionary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "wits/loopback_server.h"
#include "wits/tcp_byte_source.h"
#include "wits/wits0_dump.h"
#include "wits/wits0_format.h"
#include "wits/wits0_frames.h"
#include "wits/wits0_reader.h"
#include "wits/wits0_server.h"
#include "wits/wits_data.h"
#include "wits/wits_dictionary.h"
#include "wits/wits_out_list.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;
using namespace std::chrono_literals;
using wits_testing::eventually;

namespace {

std::string data_file(const std::string& name) {
  std::ifstream in(std::string(RIGCORE_WITS_TEST_DATA) + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Every frame of `bytes` read the way a receiving thread reads them.
struct Received {
  explicit Received(const std::string& bytes) {
    wits::MemoryByteSource source(bytes);
    wits::ReadEvents events;
    while (wits::read_record(source, store, events)) {
    }
    wits::WITSRecords records;
    store.take_ready(records);
    reading.servers()["s"] = records;
  }
  double value(const char* code) { return reading.get_value("s", code); }
  wits::RecordStore store;
  wits::WITSCommIncomData reading;
};

wits::Wits0ServerOptions loopback(std::chrono::milliseconds keep_alive = 0ms) {
  wits::Wits0ServerOptions o;
  o.address = "127.0.0.1";
  o.keep_alive = keep_alive;
  return o;
}

// Reads exactly `n` bytes from the stream; fewer when it stops.
std::string read_bytes(wits::ByteSource& source, std::size_t n) {
  std::string out;
  while (out.size() < n) {
    const auto b = source.next_byte();
    if (!b) break;
    out.push_back(static_cast<char>(*b));
  }
  return out;
}

}  // namespace

// ---- frames ---------------------------------------------------------------------------------

TEST(WITS0Frames, AFrameOfValuesIsReadBackByTheReceiverAsSent) {
  const std::string frame = wits::make_frame(1, {{8, wits::value_text(1500.25)},
                                                 {14, wits::value_text(-3.5e-3)},
                                                 {21, wits::value_text(14500)},
                                                 {40, wits::value_text(1234567.89)}});
  EXPECT_EQ(frame.substr(0, 4), "&&\r\n");
  EXPECT_EQ(frame.substr(frame.size() - 4), "!!\r\n");
  EXPECT_THAT(frame, HasSubstr("\r\n01081500.25\r\n"));
  Received r(frame);
  EXPECT_DOUBLE_EQ(r.value("0108"), 1500.25);
  EXPECT_DOUBLE_EQ(r.value("0114"), -0.0035);
  EXPECT_DOUBLE_EQ(r.value("0121"), 14500);
  // Seven significant digits.
  EXPECT_DOUBLE_EQ(r.value("0140"), 1234568);
  EXPECT_EQ(wits::value_text(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(WITS0Frames, ACaptureWithLfLinesAndMixedRecordsBecomesOneFramePerRecord) {
  const wits::CaptureFrames sample = wits::frames_from_capture(data_file("witskit_sample.wits"));
  ASSERT_EQ(sample.frames.size(), 2u);
  EXPECT_EQ(sample.frames[0],
            "&&\r\n01083650.40\r\n01133.5\r\n01142850.7\r\n012112750\r\n01234568\r\n!!\r\n");
  EXPECT_EQ(sample.items, 10u);
  Received one(sample.frames[0] + sample.frames[1]);
  EXPECT_DOUBLE_EQ(one.value("0108"), 3650.40);
  EXPECT_DOUBLE_EQ(one.value("0816"), 15.8);
  EXPECT_DOUBLE_EQ(one.value("0844"), 2.15);

  // Four frames of records 01+08+15, 02+08, 13 and 19 (the last without a final line end).
  const wits::CaptureFrames all =
      wits::frames_from_capture(data_file("witskit_sample_comprehensive.wits"));
  EXPECT_EQ(all.frames.size(), 7u);
  EXPECT_EQ(all.items, 28u);
  std::string stream;
  for (const auto& f : all.frames) stream += f;
  Received r(stream);
  EXPECT_THAT(r.reading.servers()["s"].at(15).items,
              ElementsAre(Pair(11, "5"), Pair(12, "1000"), Pair(13, "8")));
  // Record 8 as its second frame left it.
  EXPECT_DOUBLE_EQ(r.value("0815"), 3.8);
  EXPECT_DOUBLE_EQ(r.value("1912"), 5.75);
  EXPECT_DOUBLE_EQ(r.value("1310"), 15.2);
}

TEST(WITS0Frames, MarksHeadersAndNoiseAroundACaptureAreLeftOut) {
  const std::string capture =
      "\xEF\xBB\xBFnoise before\r\n&&\r\nWITS HEADER\r\n0108 12\r\n01x9 3\r\n0110\r\n!!\r\n"
      "between\n&&\n0201 7\n";  // cut by the end of the file
  const wits::CaptureFrames c = wits::frames_from_capture(capture);
  ASSERT_EQ(c.frames.size(), 2u);
  EXPECT_EQ(c.frames[0], "&&\r\n0108 12\r\n0110\r\n!!\r\n");
  EXPECT_EQ(c.frames[1], "&&\r\n0201 7\r\n!!\r\n");
  EXPECT_EQ(c.skipped_lines, 2u);
  EXPECT_TRUE(wits::frames_from_capture("no frame at all\n0108 1\n").frames.empty());
}

TEST(WITS0Frames, TheSyntheticRigDrillsThenMakesAConnection) {
  wits::SyntheticDrilling rig(1000.0);
  double last_depth = 1000.0;
  for (int second = 0; second < 600; ++second) {
    const std::vector<std::string> frames = rig.next();
    ASSERT_EQ(frames.size(), 2u);
    Received r(frames[0] + frames[1]);
    const auto& records = r.reading.servers()["s"];
    ASSERT_EQ(records.at(1).items.size(), 12u);
    ASSERT_EQ(records.at(8).items.size(), 4u);
    const double hole = r.value("0110");
    const double bit = r.value("0108");
    EXPECT_LE(bit, hole + 1e-3);
    EXPECT_DOUBLE_EQ(r.value("0808"), hole);
    if (second < 480) {
      // Drilling: the hole deepens at the rate it reports (m/h), pumps and rotary on.
      EXPECT_GT(hole, last_depth) << second;
      EXPECT_NEAR(hole - last_depth, r.value("0113") / 3600.0, 1e-3) << second;
      EXPECT_GT(r.value("0123"), 0);
      EXPECT_GT(r.value("0117"), 0);
    } else {
      // The connection: off bottom, pumps off, the hole where drilling left it.
      EXPECT_DOUBLE_EQ(hole, last_depth) << second;
      EXPECT_EQ(r.value("0113"), 0);
      EXPECT_EQ(r.value("0123"), 0);
      EXPECT_LT(bit, hole);
    }
    last_depth = hole;
  }
  // 480 s at 12..18 m/h.
  EXPECT_GT(rig.hole_depth(), 1000.0 + 480 * 12.0 / 3600);
  EXPECT_LT(rig.hole_depth(), 1000.0 + 480 * 18.0 / 3600);
}

// ---- the station's list of what it publishes ---------------------------------------------------

TEST(WITSOutList, EntriesAndEveryBadLineNamedWithItsLine) {
  const wits::OutList list = wits::parse_out_list(
      "# what the rig's other systems read from us\n"
      "вес_на_крюке 0114\n"
      "\n"
      "давление_на_входе\t0121  # standpipe\n"
      "глубина\n"
      "нагрузка 117\n"
      "обороты 01a0\n"
      "ходы_насоса 0114\n"
      "a b c\n",
      "/home/wits_out.cfg");
  EXPECT_EQ(list.entries,
            (std::vector<wits::OutEntry>{{"вес_на_крюке", 1, 14}, {"давление_на_входе", 1, 21}}));
  ASSERT_EQ(list.problems.size(), 5u);
  EXPECT_THAT(list.problems[0], HasSubstr("/home/wits_out.cfg line 5: expected a parameter"));
  EXPECT_THAT(list.problems[1], HasSubstr("line 6: the WITS code '117' is not four"));
  EXPECT_THAT(list.problems[2], HasSubstr("line 7: the WITS code '01a0'"));
  EXPECT_THAT(list.problems[3], HasSubstr("line 8: the WITS code 0114 is already given"));
  EXPECT_THAT(list.problems[4],
              HasSubstr("line 9: expected a parameter and a four-digit WITS code, found 3"));
}

// ---- the dictionary and the dump ------------------------------------------------------------

TEST(WITSDictionary, TheRecordTablesGiveNamesMnemonicsAndUnits) {
  const wits::WitsDictionary dict =
      wits::WitsDictionary::parse(data_file("wits0_dictionary_records1-25.csv"), "dict.csv");
  EXPECT_TRUE(dict.problems().empty()) << dict.problems().front();
  // Names and units of common items are checked by the golden dump below; here a quoted
  // description with a comma, and a unit of dashes, which is no unit.
  EXPECT_EQ(dict.find(1, 20)->description, "Rotary Speed (surf,avg)");
  EXPECT_EQ(dict.find(1, 1)->unit, "");
}

TEST(WITSDictionary, AFileThatIsNoDictionaryOrHasBadLinesSaysSo) {
  const auto not_one = wits::WitsDictionary::parse("code,name\n0108,bit\n", "x.csv");
  EXPECT_EQ(not_one.size(), 0u);
  ASSERT_EQ(not_one.problems().size(), 1u);
  EXPECT_THAT(not_one.problems()[0], HasSubstr("x.csv line 1: not a WITS dictionary"));

  const std::string header =
      "record,item,code,description,long_mnemonic,short_mnemonic,type,length,metric_unit,"
      "fps_unit\r\n";
  const auto partly = wits::WitsDictionary::parse(
      header +
          "1,8,0108,Bit,DEPTBITM,DBTM,F,4,M,F\r\n1,x,01x,Bad,,,,,,\r\n"
          "1,10,0110,\"open quote,DM,DM,F,4,M,F\r\n1,150,0,Big,,,,,,\r\n",
      "y.csv");
  EXPECT_EQ(partly.size(), 1u);
  ASSERT_EQ(partly.problems().size(), 3u);
  EXPECT_THAT(partly.problems()[0], HasSubstr("y.csv line 3: not a dictionary line"));
  EXPECT_THAT(partly.problems()[2], HasSubstr("y.csv line 5"));
}

// ---- the server -----------------------------------------------------------------------------

TEST(WITS0Server, EveryClientGetsWhatIsPublishedAndItsDumpIsTheGoldenText) {
  wits::Wits0Server server(loopback());
  ASSERT_EQ(server.start(), std::nullopt);
  ASSERT_GT(server.port(), 0);
  wits::TcpByteSource first(5000ms), second(5000ms);
  ASSERT_EQ(first.connect("127.0.0.1", server.port()), std::nullopt);
  ASSERT_EQ(second.connect("127.0.0.1", server.port()), std::nullopt);
  ASSERT_TRUE(eventually([&] { return server.client_count() == 2; }));

  server.publish(wits::make_frame(1, {{8, "1500.25"}, {14, " 820"}, {99, "x"}}));
  server.publish(std::string(wits::kKeepAliveFrame));
  server.publish(wits::make_frame(8, {{23, "61.5"}}));
  server.publish("&&\r\n0121100\r\n0823 7\r\n!!\r\n");

  const wits::WitsDictionary dict =
      wits::WitsDictionary::parse(data_file("wits0_dictionary_records1-25.csv"), "dict.csv");
  std::string dumped;
  EXPECT_EQ(wits::dump_frames(first, &dict, 3, [&](const std::string& s) { dumped += s; }), 3);
  EXPECT_EQ(dumped,
            "record 01 (3 items)\n"
            "  0108 DBTM  Depth Bit (meas) = 1500.25 M\n"
            "  0114 HKLA  Hookload (avg) =  820 KDN\n"
            "  0199 ?     (not in the dictionary) = x\n"
            "record 08 (1 item)\n"
            "  0823 MG1   Gamma Ray 1 reading = 61.5 API\n"
            "record 08 (2 items)\n"
            "  0121 SPPA  Standpipe Pressure (avg) = 100 KPA\n"
            "  0823 MG1   Gamma Ray 1 reading =  7 API\n");

  // The other client reads the same records.
  wits::RecordStore store;
  wits::ReadEvents events;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(wits::read_record(second, store, events));
  EXPECT_EQ(store.snapshot().at(1).items.at(8), "1500.25");
  EXPECT_EQ(store.snapshot().at(8).items.at(23), " 7");

  // Without a dictionary the names are unknown, the values still shown.
  server.publish(wits::make_frame(1, {{10, "3"}}));
  dumped.clear();
  EXPECT_EQ(wits::dump_frames(second, nullptr, 1, [&](const std::string& s) { dumped += s; }), 1);
  EXPECT_EQ(dumped, "record 01 (1 item)\n  0110 ?     (not in the dictionary) = 3\n");

  // A client that goes away is forgotten.
  second.close();
  ASSERT_TRUE(eventually([&] { return server.client_count() == 1; }));
  EXPECT_EQ(server.dropped_count(), 0u);
  EXPECT_EQ(server.accepted_count(), 2u);
}

TEST(WITS0Server, SilenceIsFilledWithKeepAliveFramesThatMakeNothingReady) {
  wits::Wits0Server server(loopback(50ms));
  ASSERT_EQ(server.start(), std::nullopt);
  wits::TcpByteSource client(5000ms);
  ASSERT_EQ(client.connect("127.0.0.1", server.port()), std::nullopt);
  EXPECT_EQ(read_bytes(client, 16),
            std::string(wits::kKeepAliveFrame) + std::string(wits::kKeepAliveFrame));
  wits::MemoryByteSource keep_alive(wits::kKeepAliveFrame);
  wits::RecordStore store;
  wits::ReadEvents events;
  EXPECT_TRUE(wits::read_record(keep_alive, store, events));
  EXPECT_TRUE(store.snapshot().empty());
}

TEST(WITS0Server, AClientThatDoesNotReadIsDroppedAndPublishingNeverWaitsForIt) {
  wits::Wits0ServerOptions options = loopback();
  options.max_pending_bytes = 256 * 1024;
  options.send_buffer_bytes = 64 * 1024;
  std::vector<std::string> log;
  std::mutex log_mutex;
  wits::Wits0Server server(options, [&](const std::string& line) {
    std::lock_guard lock(log_mutex);
    log.push_back(line);
  });
  ASSERT_EQ(server.start(), std::nullopt);
  // A peer that connects and never reads a byte.
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket sleeper(io);
  sleeper.open(boost::asio::ip::tcp::v4());
  sleeper.set_option(boost::asio::socket_base::receive_buffer_size(4096));
  sleeper.connect(
      {boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(server.port())});
  // And one that reads everything.
  wits::TcpByteSource reader(5000ms);
  ASSERT_EQ(reader.connect("127.0.0.1", server.port()), std::nullopt);
  ASSERT_TRUE(eventually([&] { return server.client_count() == 2; }));

  const std::string chunk = wits::make_frame(1, {{8, std::string(200, '7')}});
  std::atomic<bool> reading{true};
  std::atomic<std::size_t> got{0};
  std::thread drain([&] {
    while (reading && reader.next_byte()) ++got;
  });
  auto slowest = std::chrono::steady_clock::duration::zero();
  std::size_t sent = 0;
  const bool dropped = eventually(
      [&] {
        for (int i = 0; i < 10; ++i) {
          const auto t0 = std::chrono::steady_clock::now();
          server.publish(chunk);
          slowest = std::max(slowest, std::chrono::steady_clock::now() - t0);
          sent += chunk.size();
        }
        return server.dropped_count() == 1;
      },
      20000ms);
  EXPECT_TRUE(dropped);
  EXPECT_EQ(server.dropped_count(), 1u);
  EXPECT_EQ(server.client_count(), 1u);
  EXPECT_LT(slowest, 100ms);
  {
    std::lock_guard lock(log_mutex);
    // The one dropped is the sleeper, not the reader.
    const std::string sleeper_peer =
        "client 127.0.0.1:" + std::to_string(sleeper.local_endpoint().port()) + " does not read";
    EXPECT_THAT(log, ::testing::Contains(HasSubstr(sleeper_peer)));
  }
  // The reading client kept getting everything.
  EXPECT_TRUE(eventually([&] { return got.load() == sent; }, 20000ms)) << got << " of " << sent;
  reading = false;
  reader.interrupt();
  drain.join();
}

TEST(WITS0Server, APortInUseIsRefusedWithTheReason) {
  wits_testing::LoopbackServer other;
  wits::Wits0ServerOptions options = loopback();
  options.port = other.port();
  wits::Wits0Server server(options);
  const auto error = server.start();
  ASSERT_TRUE(error.has_value());
  EXPECT_THAT(*error, HasSubstr("cannot listen on 127.0.0.1:" + std::to_string(other.port())));
  EXPECT_FALSE(server.running());
  options.port = 70000;
  EXPECT_THAT(wits::Wits0Server(options).start().value_or(""), HasSubstr("is not a TCP port"));
}

TEST(WITS0Server, AClientWhoseWriteStallsIsDroppedAfterTheStallLimit) {
  wits::Wits0ServerOptions options = loopback();
  options.max_pending_bytes = std::size_t{64} << 20;  // the queue bound is not what drops it here
  options.send_buffer_bytes = 16 * 1024;
  options.stall_limit = 300ms;
  std::vector<std::string> log;
  std::mutex log_mutex;
  wits::Wits0Server server(options, [&](const std::string& line) {
    std::lock_guard lock(log_mutex);
    log.push_back(line);
  });
  ASSERT_EQ(server.start(), std::nullopt);
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket sleeper(io);
  sleeper.open(boost::asio::ip::tcp::v4());
  sleeper.set_option(boost::asio::socket_base::receive_buffer_size(4096));
  sleeper.connect(
      {boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(server.port())});
  ASSERT_TRUE(eventually([&] { return server.client_count() == 1; }));
  // One publish far larger than both socket buffers: its write cannot complete.
  server.publish(std::string(4 << 20, 'x'));
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(eventually([&] { return server.dropped_count() == 1; }, 10000ms));
  // Not before the limit.
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 250ms);
  EXPECT_EQ(server.client_count(), 0u);
  std::lock_guard lock(log_mutex);
  EXPECT_THAT(log, ::testing::Contains(HasSubstr("a write waited too long")));
}
