// A WITS level 0 sender: a TCP server that hands the same bytes to every connected client.
// The station publishes its values through it, `rigstation wits serve` plays captures and
// synthetic records through it, and tests use it as a real peer.
//
// Threads: one thread of its own runs the network (accepting, writing, closing). publish,
// client_count, the counters and port may be called from any thread, but not while the
// owner is in start or stop; start, stop and running belong to the owner. publish never waits for a
// client: it queues the bytes, and a client whose queue grows past max_pending_bytes, or whose
// oldest write is older than stall_limit, is dropped instead (a client that does not read must not
// hold up the tick or fill the memory).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace wits {

// What a sender puts on the line while it has nothing to say, so a receiver's stream time-out
// does not drop the connection: a record with no items, which makes nothing ready.
inline constexpr std::string_view kKeepAliveFrame = "&&\r\n!!\r\n";

struct Wits0ServerOptions {
  // Where to listen: this machine only unless another address is named ("0.0.0.0": every
  // address of the machine).
  std::string address = "127.0.0.1";
  int port = 0;  // 0: any free port (see Wits0Server::port)
  // A keep-alive frame goes out after this long without a publish; 0: never.
  std::chrono::milliseconds keep_alive{10000};
  // A client with more bytes than this waiting to be written is dropped.
  std::size_t max_pending_bytes = 1 << 20;
  // The kernel's send buffer of each client socket, which a client that does not read fills
  // before our own queue grows; 0: the system's default.
  int send_buffer_bytes = 0;
  // A client whose oldest waiting write has not completed for this long is dropped.
  std::chrono::milliseconds stall_limit{20000};
};

class Wits0Server {
 public:
  // Connections and drops, for the owner's log; called on the server's thread.
  using Log = std::function<void(const std::string&)>;

  explicit Wits0Server(Wits0ServerOptions options, Log log = {});
  // Stops.
  ~Wits0Server();
  Wits0Server(const Wits0Server&) = delete;
  Wits0Server& operator=(const Wits0Server&) = delete;

  // Binds, listens and starts the thread; the reason when the address or port cannot be
  // taken (nothing runs then).
  std::optional<std::string> start();
  // Closes every client and the listening socket and joins the thread.
  void stop();
  bool running() const;

  // The port listened on (the one chosen by the system when 0 was asked); 0 before start.
  int port() const { return port_.load(); }

  // Queues `bytes` for every client connected now.
  void publish(std::string bytes);

  std::size_t client_count() const { return clients_.load(); }
  std::uint64_t accepted_count() const { return accepted_.load(); }
  std::uint64_t dropped_count() const { return dropped_.load(); }
  std::uint64_t published_count() const { return published_.load(); }

 private:
  struct Impl;
  Wits0ServerOptions options_;
  Log log_;
  std::unique_ptr<Impl> impl_;
  std::thread thread_;
  std::atomic<int> port_{0};
  std::atomic<std::size_t> clients_{0};
  std::atomic<std::uint64_t> accepted_{0};
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<std::uint64_t> published_{0};
};

}  // namespace wits
