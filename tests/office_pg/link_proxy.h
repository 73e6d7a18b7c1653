// A loopback TCP proxy between the forwarder and the server that behaves as rig links do:
// it passes bytes, throttles them, stalls (holds every byte, the connections open), or cuts
// every connection at once. One thread, poll() over all connections.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace office_pg_test {

class LinkProxy {
 public:
  enum class Mode { pass, throttle, stall };

  explicit LinkProxy(int server_port) : server_port_(server_port) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    ::listen(listen_fd_, 16);
    thread_ = std::thread([this] { loop(); });
  }
  ~LinkProxy() {
    stop_ = true;
    thread_.join();
    for (const Pair& p : pairs_) close_pair(p);
    ::close(listen_fd_);
  }

  int port() const { return port_; }
  void set_mode(Mode m) { mode_ = m; }
  // At most this many bytes a second each way while throttling.
  void set_rate(std::size_t bytes_per_second) { rate_ = bytes_per_second; }
  // Closes every connection now (new ones are taken).
  void cut() { cut_ = true; }
  std::size_t connections_made() const { return made_; }

 private:
  struct Pair {
    int client = -1, server = -1;
  };
  static sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
  }
  static void close_pair(const Pair& p) {
    ::close(p.client);
    ::close(p.server);
  }

  void loop() {
    auto tick = std::chrono::steady_clock::now();
    std::size_t budget = rate_;
    while (!stop_) {
      if (cut_.exchange(false)) {
        for (const Pair& p : pairs_) close_pair(p);
        pairs_.clear();
      }
      const auto now = std::chrono::steady_clock::now();
      if (now - tick >= std::chrono::milliseconds(100)) {
        tick = now;
        budget = rate_ / 10;
      }
      std::vector<pollfd> fds{{listen_fd_, POLLIN, 0}};
      const bool moving = mode_ != Mode::stall && (mode_ == Mode::pass || budget > 0);
      for (const Pair& p : pairs_) {
        fds.push_back({p.client, static_cast<short>(moving ? POLLIN : 0), 0});
        fds.push_back({p.server, static_cast<short>(moving ? POLLIN : 0), 0});
      }
      if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
      std::vector<Pair> keep;
      for (std::size_t i = 0; i < pairs_.size(); ++i) {
        const Pair p = pairs_[i];
        bool open = true;
        for (const auto& [from, to, rev] :
             {std::tuple{p.client, p.server, fds[1 + 2 * i].revents},
              std::tuple{p.server, p.client, fds[2 + 2 * i].revents}}) {
          if (!open || !(rev & (POLLIN | POLLHUP | POLLERR))) continue;
          char buf[16384];
          std::size_t want = sizeof buf;
          if (mode_ == Mode::throttle) want = std::min(want, std::max<std::size_t>(budget, 1));
          const ssize_t n = ::read(from, buf, want);
          if (n <= 0) {
            open = false;
            break;
          }
          if (mode_ == Mode::throttle)
            budget -= std::min<std::size_t>(budget, static_cast<std::size_t>(n));
          for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buf + done, static_cast<std::size_t>(n - done));
            if (w <= 0) {
              open = false;
              break;
            }
            done += w;
          }
        }
        if (open) {
          keep.push_back(p);
        } else {
          close_pair(p);
        }
      }
      pairs_ = std::move(keep);
      if (fds[0].revents & POLLIN) accept_one();
    }
  }

  void accept_one() {
    const int client = ::accept(listen_fd_, nullptr, nullptr);
    if (client < 0) return;
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(server_port_);
    if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(client);
      ::close(server);
      return;
    }
    pairs_.push_back({client, server});
    ++made_;
  }

  int server_port_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> cut_{false};
  std::atomic<Mode> mode_{Mode::pass};
  std::atomic<std::size_t> rate_{1 << 20};
  std::atomic<std::size_t> made_{0};
  std::vector<Pair> pairs_;
};

}  // namespace office_pg_test
