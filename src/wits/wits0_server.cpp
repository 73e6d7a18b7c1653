#include "wits/wits0_server.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <deque>
#include <vector>

namespace wits {

namespace asio = boost::asio;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// How often the server looks for stalled clients and silence to fill.
constexpr std::chrono::milliseconds kHousekeeping{100};

struct Client {
  explicit Client(tcp::socket s) : socket(std::move(s)) {}
  tcp::socket socket;
  std::string peer;
  std::deque<std::shared_ptr<const std::string>> queue;
  std::size_t pending = 0;  // bytes queued, the one being written included
  bool writing = false;
  bool closed = false;
  Clock::time_point write_started;
  std::array<char, 256> sink{};  // what a client sends us is read and thrown away
};

}  // namespace

struct Wits0Server::Impl {
  Impl(Wits0Server& owner) : owner(owner), acceptor(io), timer(io), work(io.get_executor()) {}

  Wits0Server& owner;
  asio::io_context io;
  tcp::acceptor acceptor;
  asio::steady_timer timer;
  asio::executor_work_guard<asio::io_context::executor_type> work;
  std::vector<std::shared_ptr<Client>> clients;
  Clock::time_point last_sent = Clock::now();
  bool closing = false;

  void log(const std::string& text) {
    if (owner.log_) owner.log_(text);
  }

  void accept_next() {
    acceptor.async_accept([this](const boost::system::error_code& e, tcp::socket socket) {
      if (closing) return;
      if (!e) add_client(std::move(socket));
      // A failed accept (too many open files, a client gone before it was taken) costs
      // only that client; the server keeps listening.
      if (acceptor.is_open()) accept_next();
    });
  }

  void add_client(tcp::socket socket) {
    auto client = std::make_shared<Client>(std::move(socket));
    boost::system::error_code ec;
    client->socket.set_option(tcp::no_delay(true), ec);
    client->socket.set_option(asio::socket_base::keep_alive(true), ec);
    if (owner.options_.send_buffer_bytes > 0)
      client->socket.set_option(
          asio::socket_base::send_buffer_size(owner.options_.send_buffer_bytes), ec);
    const auto remote = client->socket.remote_endpoint(ec);
    client->peer =
        ec ? std::string("?") : remote.address().to_string() + ":" + std::to_string(remote.port());
    clients.push_back(client);
    owner.clients_ = clients.size();
    ++owner.accepted_;
    log("client " + client->peer + " connected");
    read_next(client);
  }

  // Reads (and forgets) what the client sends, to see it close.
  void read_next(const std::shared_ptr<Client>& client) {
    client->socket.async_read_some(
        asio::buffer(client->sink),
        [this, client](const boost::system::error_code& e, std::size_t) {
          if (client->closed) return;
          if (e) {
            remove(client, e == asio::error::eof ? "closed the connection" : e.message(), false);
            return;
          }
          read_next(client);
        });
  }

  void send(const std::shared_ptr<Client>& client,
            const std::shared_ptr<const std::string>& bytes) {
    if (client->closed) return;
    if (client->pending + bytes->size() > owner.options_.max_pending_bytes) {
      remove(client,
             "does not read: more than " + std::to_string(owner.options_.max_pending_bytes) +
                 " bytes wait for it; dropped",
             true);
      return;
    }
    client->queue.push_back(bytes);
    client->pending += bytes->size();
    if (!client->writing) write_next(client);
  }

  void write_next(const std::shared_ptr<Client>& client) {
    client->writing = true;
    client->write_started = Clock::now();
    const std::shared_ptr<const std::string> bytes = client->queue.front();
    asio::async_write(client->socket, asio::buffer(*bytes),
                      [this, client, bytes](const boost::system::error_code& e, std::size_t) {
                        if (client->closed) return;
                        if (e) {
                          remove(client, "write failed: " + e.message(), false);
                          return;
                        }
                        client->pending -= bytes->size();
                        client->queue.pop_front();
                        client->writing = false;
                        if (!client->queue.empty()) write_next(client);
                      });
  }

  void broadcast(const std::shared_ptr<const std::string>& bytes) {
    last_sent = Clock::now();
    // A copy: a drop removes from the list.
    const std::vector<std::shared_ptr<Client>> now = clients;
    for (const auto& client : now) send(client, bytes);
  }

  void remove(const std::shared_ptr<Client>& client, const std::string& why, bool forced) {
    if (client->closed) return;
    client->closed = true;
    boost::system::error_code ignored;
    client->socket.shutdown(tcp::socket::shutdown_both, ignored);
    client->socket.close(ignored);
    std::erase(clients, client);
    owner.clients_ = clients.size();
    if (forced) ++owner.dropped_;
    log("client " + client->peer + " " + why);
  }

  void housekeeping() {
    timer.expires_after(kHousekeeping);
    timer.async_wait([this](const boost::system::error_code& e) {
      if (e || closing) return;
      const auto now = Clock::now();
      const std::vector<std::shared_ptr<Client>> current = clients;
      for (const auto& client : current) {
        if (client->writing && now - client->write_started > owner.options_.stall_limit)
          remove(client, "does not read: a write waited too long; dropped", true);
      }
      const auto keep_alive = owner.options_.keep_alive;
      if (keep_alive.count() > 0 && now - last_sent >= keep_alive) {
        static const auto frame = std::make_shared<const std::string>(kKeepAliveFrame);
        broadcast(frame);
      }
      housekeeping();
    });
  }

  void close_all() {
    closing = true;
    boost::system::error_code ignored;
    acceptor.close(ignored);
    timer.cancel();
    const std::vector<std::shared_ptr<Client>> current = clients;
    for (const auto& client : current) remove(client, "closed: the server stops", false);
  }
};

Wits0Server::Wits0Server(Wits0ServerOptions options, Log log)
    : options_(std::move(options)), log_(std::move(log)) {}

Wits0Server::~Wits0Server() {
  stop();
}

std::optional<std::string> Wits0Server::start() {
  if (impl_) return std::string("already started");
  if (options_.port < 0 || options_.port > 65535)
    return "port " + std::to_string(options_.port) + " is not a TCP port (0..65535)";
  auto impl = std::make_unique<Impl>(*this);
  boost::system::error_code ec;
  const auto address = asio::ip::make_address(options_.address, ec);
  if (ec) return "'" + options_.address + "' is not an IP address";
  const tcp::endpoint at(address, static_cast<unsigned short>(options_.port));
  const auto where = options_.address + ":" + std::to_string(options_.port);
  impl->acceptor.open(at.protocol(), ec);
  if (!ec) impl->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) impl->acceptor.bind(at, ec);
  if (!ec) impl->acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) return "cannot listen on " + where + ": " + ec.message();
  port_ = impl->acceptor.local_endpoint().port();
  impl->accept_next();
  impl->housekeeping();
  impl_ = std::move(impl);
  thread_ = std::thread([this] {
    try {
      impl_->io.run();
    } catch (const std::exception& e) {
      if (log_) log_(std::string("server stopped on an error: ") + e.what());
    }
  });
  return std::nullopt;
}

bool Wits0Server::running() const {
  return impl_ != nullptr;
}

void Wits0Server::stop() {
  if (!impl_) return;
  Impl* impl = impl_.get();
  asio::post(impl->io, [impl] { impl->close_all(); });
  impl->work.reset();
  if (thread_.joinable()) thread_.join();
  impl_.reset();
  clients_ = 0;
  port_ = 0;
}

void Wits0Server::publish(std::string bytes) {
  if (!impl_ || bytes.empty()) return;
  ++published_;
  auto shared = std::make_shared<const std::string>(std::move(bytes));
  Impl* impl = impl_.get();
  asio::post(impl->io, [impl, shared] {
    if (!impl->closing) impl->broadcast(shared);
  });
}

}  // namespace wits
