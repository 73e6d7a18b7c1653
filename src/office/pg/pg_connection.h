// One connection to a PostgreSQL server through libpq, as the office link uses it: TLS and
// authentication as libpq does them (sslmode, sslrootcert, ~/.pgpass ... in the address),
// and no wait without a bound: every step of a statement or a COPY must make progress within
// the I/O timeout, or the connection counts as lost. A slow link is no failure; a stalled
// one is, after the timeout.
//
// Failures are exceptions: LinkError when the connection is down or lost, SqlError when the
// server refused a statement (the connection stays usable: roll back and go on), OfficeError
// when the address itself is not one. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "office/office_db.h"

typedef struct pg_conn PGconn;
typedef struct pg_result PGresult;

namespace office::pg {

class SqlError : public LinkError {
 public:
  SqlError(const std::string& what, std::string sqlstate)
      : LinkError(what), sqlstate_(std::move(sqlstate)) {}
  const std::string& sqlstate() const { return sqlstate_; }

 private:
  std::string sqlstate_;
};

// A statement's parameter: its binary value and type; null when `null`.
struct Param {
  std::string bytes;
  std::uint32_t type = 0;
  bool null = false;
};
Param int2_param(std::int16_t v);
Param int4_param(std::int32_t v);
Param int8_param(std::int64_t v);
Param float4_param(float v);
Param float8_param(double v);
Param bool_param(bool v);
Param text_param(std::string_view v);
Param timestamp_param(std::int64_t micros);
Param null_param(std::uint32_t type);

class Result {
 public:
  explicit Result(PGresult* r) : r_(r, &release) {}
  int rows() const;
  bool is_null(int row, int col) const;
  // Text of a field (results come as text).
  std::string text(int row, int col) const;
  std::int64_t int8(int row, int col) const;
  // Rows a command touched ("UPDATE 1" gives 1).
  std::int64_t affected() const;

 private:
  static void release(PGresult* r);
  std::unique_ptr<PGresult, void (*)(PGresult*)> r_;
};

class Connection {
 public:
  // `address`: a libpq connection URI (postgresql://...) or key=value string.
  Connection(std::string address, int io_timeout_ms);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Throws OfficeError for an address that is not one, LinkError when the server cannot
  // be reached, refuses the login or does not answer in time.
  void connect();
  bool connected() const { return conn_ != nullptr; }
  void close();

  Result exec(std::string_view sql, const std::vector<Param>& params = {});
  // Several statements in one text, no parameters (a migration).
  void exec_script(std::string_view sql);
  // COPY ... FROM STDIN with `data` as its whole stream.
  void copy_in(std::string_view sql, std::string_view data);
  // COPY ... TO STDOUT; each piece of the stream as it comes.
  void copy_out(std::string_view sql, const std::function<void(std::string_view)>& piece);

  // The address without a password, for messages and the status.
  static std::string display(const std::string& address);
  const std::string& shown() const { return shown_; }
  // Bytes handed to the server since the connection was made, about.
  std::uint64_t bytes_sent() const { return sent_; }

 private:
  // Waits until the socket can be written (or read, when `read`), at most the timeout.
  void wait(bool read, bool write, const char* doing);
  void flush(const char* doing);
  PGresult* next_result(const char* doing);
  [[noreturn]] void lost(const std::string& what);
  Result finish_results(const char* doing);

  std::string address_;
  std::string shown_;
  int timeout_ms_;
  PGconn* conn_ = nullptr;
  std::uint64_t sent_ = 0;
};

}  // namespace office::pg
