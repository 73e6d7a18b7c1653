#include "office/pg/pg_connection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "office/pg/pg_binary.h"

namespace office::pg {
namespace {

constexpr std::size_t kCopyChunkBytes = std::size_t{256} << 10;

std::string trimmed(const char* message) {
  std::string s = message ? message : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  // libpq's messages may run over several lines; the log keeps one.
  std::replace(s.begin(), s.end(), '\n', ' ');
  return s.empty() ? std::string("no reason given") : s;
}

Param binary(std::string bytes, std::uint32_t type) {
  return {std::move(bytes), type, false};
}

}  // namespace

Param int2_param(std::int16_t v) {
  return binary(int2_bytes(v), kOidInt2);
}
Param int4_param(std::int32_t v) {
  return binary(int4_bytes(v), kOidInt4);
}
Param int8_param(std::int64_t v) {
  return binary(int8_bytes(v), kOidInt8);
}
Param float4_param(float v) {
  return binary(float4_bytes(v), kOidFloat4);
}
Param float8_param(double v) {
  return binary(float8_bytes(v), kOidFloat8);
}
Param bool_param(bool v) {
  return binary(bool_bytes(v), kOidBool);
}
Param text_param(std::string_view v) {
  return binary(std::string(v), kOidText);
}
Param timestamp_param(std::int64_t micros) {
  return binary(int8_bytes(micros), kOidTimestamp);
}
Param null_param(std::uint32_t type) {
  return {std::string(), type, true};
}

void Result::release(PGresult* r) {
  if (r) PQclear(r);
}
int Result::rows() const {
  return PQntuples(r_.get());
}
bool Result::is_null(int row, int col) const {
  return PQgetisnull(r_.get(), row, col) != 0;
}
std::string Result::text(int row, int col) const {
  return std::string(PQgetvalue(r_.get(), row, col),
                     static_cast<std::size_t>(PQgetlength(r_.get(), row, col)));
}
std::int64_t Result::int8(int row, int col) const {
  return std::strtoll(PQgetvalue(r_.get(), row, col), nullptr, 10);
}
std::int64_t Result::affected() const {
  return std::strtoll(PQcmdTuples(r_.get()), nullptr, 10);
}

Connection::Connection(std::string address, int io_timeout_ms)
    : address_(std::move(address)), shown_(display(address_)), timeout_ms_(io_timeout_ms) {}

Connection::~Connection() {
  close();
}

std::string Connection::display(const std::string& address) {
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(address.c_str(), &err);
  if (opts == nullptr) {
    if (err) PQfreemem(err);
    return "(an address that does not read)";
  }
  std::string shown;
  for (PQconninfoOption* o = opts; o->keyword != nullptr; ++o) {
    if (o->val == nullptr || o->val[0] == '\0') continue;
    const std::string key = o->keyword;
    if (key == "password") continue;
    shown += (shown.empty() ? "" : " ") + key + "=" + o->val;
  }
  PQconninfoFree(opts);
  return shown.empty() ? std::string("(the libpq defaults)") : shown;
}

void Connection::close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

void Connection::lost(const std::string& what) {
  close();
  throw LinkError(what);
}

void Connection::connect() {
  if (conn_) return;
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(address_.c_str(), &err);
  if (opts == nullptr) {
    const std::string why = trimmed(err);
    if (err) PQfreemem(err);
    throw OfficeError("the office address is not one libpq reads: " + why);
  }
  PQconninfoFree(opts);
  // Defaults first: what the address says wins.
  const std::string timeout_s = std::to_string(std::max(2, (timeout_ms_ + 999) / 1000));
  const std::string timeout_ms = std::to_string(timeout_ms_);
  const char* keys[] = {"connect_timeout",  "application_name",
                        "client_encoding",  "keepalives",
                        "keepalives_idle",  "keepalives_interval",
                        "keepalives_count", "tcp_user_timeout",
                        "dbname",           nullptr};
  const char* values[] = {timeout_s.c_str(),  "rigstation",     "UTF8", "1", "15", "5", "3",
                          timeout_ms.c_str(), address_.c_str(), nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 1);
  if (c == nullptr) throw LinkError("cannot connect to the office (" + shown_ + "): out of memory");
  if (PQstatus(c) != CONNECTION_OK) {
    const std::string why = trimmed(PQerrorMessage(c));
    PQfinish(c);
    throw LinkError("cannot connect to the office (" + shown_ + "): " + why);
  }
  // The server's notices ("... already exists, skipping") are no news to the operator.
  PQsetNoticeProcessor(
      c, [](void*, const char*) {}, nullptr);
  if (PQsetnonblocking(c, 1) != 0) {
    const std::string why = trimmed(PQerrorMessage(c));
    PQfinish(c);
    throw LinkError("cannot use the connection to the office: " + why);
  }
  conn_ = c;
}

void Connection::wait(bool read, bool write, const char* doing) {
  pollfd p{};
  p.fd = PQsocket(conn_);
  if (p.fd < 0) lost(std::string("the connection to the office is gone while ") + doing);
  p.events = static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0));
  for (;;) {
    const int r = ::poll(&p, 1, timeout_ms_);
    if (r > 0) return;
    if (r == 0) {
      lost("the office did not answer for " + std::to_string(timeout_ms_ / 1000) + " s while " +
           doing + "; the link counts as lost");
    }
    if (errno != EINTR) lost(std::string("cannot wait for the office: ") + std::strerror(errno));
  }
}

void Connection::flush(const char* doing) {
  for (;;) {
    const int r = PQflush(conn_);
    if (r == 0) return;
    if (r < 0)
      lost(std::string("the link to the office broke while ") + doing + ": " +
           trimmed(PQerrorMessage(conn_)));
    wait(true, true, doing);
    if (PQconsumeInput(conn_) == 0)
      lost(std::string("the link to the office broke while ") + doing + ": " +
           trimmed(PQerrorMessage(conn_)));
  }
}

PGresult* Connection::next_result(const char* doing) {
  while (PQisBusy(conn_)) {
    wait(true, false, doing);
    if (PQconsumeInput(conn_) == 0)
      lost(std::string("the link to the office broke while ") + doing + ": " +
           trimmed(PQerrorMessage(conn_)));
  }
  return PQgetResult(conn_);
}

Result Connection::finish_results(const char* doing) {
  PGresult* last = nullptr;
  std::string error, state;
  while (PGresult* r = next_result(doing)) {
    const ExecStatusType st = PQresultStatus(r);
    if (st == PGRES_FATAL_ERROR || st == PGRES_BAD_RESPONSE || st == PGRES_NONFATAL_ERROR) {
      if (error.empty()) {
        error = trimmed(PQresultErrorMessage(r));
        const char* s = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        state = s ? s : "";
      }
    }
    if (st == PGRES_COPY_IN || st == PGRES_COPY_OUT) {
      PQclear(r);
      if (last) PQclear(last);
      lost(std::string("the office answered with a COPY where none was asked for, while ") + doing);
    }
    if (last) PQclear(last);
    last = r;
  }
  if (PQstatus(conn_) == CONNECTION_BAD) {
    if (last) PQclear(last);
    lost(std::string("the link to the office broke while ") + doing + ": " +
         (error.empty() ? trimmed(PQerrorMessage(conn_)) : error));
  }
  if (!error.empty()) {
    if (last) PQclear(last);
    throw SqlError("the office refused " + std::string(doing) + ": " + error, state);
  }
  return Result(last);
}

Result Connection::exec(std::string_view sql, const std::vector<Param>& params) {
  if (!conn_) throw LinkError("not connected to the office");
  const std::string query(sql);
  std::vector<const char*> values;
  std::vector<int> lengths, formats;
  std::vector<Oid> types;
  for (const Param& p : params) {
    values.push_back(p.null ? nullptr : p.bytes.data());
    lengths.push_back(static_cast<int>(p.bytes.size()));
    formats.push_back(1);
    types.push_back(p.type);
    sent_ += p.bytes.size();
  }
  sent_ += query.size();
  if (PQsendQueryParams(conn_, query.c_str(), static_cast<int>(params.size()), types.data(),
                        values.data(), lengths.data(), formats.data(), 0) == 0) {
    lost("cannot send a statement to the office: " + trimmed(PQerrorMessage(conn_)));
  }
  flush("sending a statement");
  return finish_results("a statement");
}

void Connection::exec_script(std::string_view sql) {
  if (!conn_) throw LinkError("not connected to the office");
  const std::string query(sql);
  sent_ += query.size();
  if (PQsendQuery(conn_, query.c_str()) == 0)
    lost("cannot send statements to the office: " + trimmed(PQerrorMessage(conn_)));
  flush("sending statements");
  finish_results("statements");
}

void Connection::copy_in(std::string_view sql, std::string_view data) {
  if (!conn_) throw LinkError("not connected to the office");
  const std::string query(sql);
  if (PQsendQuery(conn_, query.c_str()) == 0)
    lost("cannot send a COPY to the office: " + trimmed(PQerrorMessage(conn_)));
  flush("starting a COPY");
  PGresult* r = next_result("starting a COPY");
  if (r == nullptr || PQresultStatus(r) != PGRES_COPY_IN) {
    if (r) PQclear(r);
    finish_results("a COPY");
    lost("the office did not take a COPY");
  }
  PQclear(r);
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t n = std::min(kCopyChunkBytes, data.size() - at);
    const int rc = PQputCopyData(conn_, data.data() + at, static_cast<int>(n));
    if (rc < 0)
      lost("the link to the office broke while sending lines: " + trimmed(PQerrorMessage(conn_)));
    if (rc == 0) {
      wait(false, true, "sending lines");
      continue;
    }
    at += n;
    sent_ += n;
    flush("sending lines");
  }
  for (;;) {
    const int rc = PQputCopyEnd(conn_, nullptr);
    if (rc < 0)
      lost("the link to the office broke while ending a COPY: " + trimmed(PQerrorMessage(conn_)));
    if (rc == 1) break;
    wait(false, true, "ending a COPY");
  }
  flush("ending a COPY");
  finish_results("a COPY");
}

void Connection::copy_out(std::string_view sql,
                          const std::function<void(std::string_view)>& piece) {
  if (!conn_) throw LinkError("not connected to the office");
  const std::string query(sql);
  if (PQsendQuery(conn_, query.c_str()) == 0)
    lost("cannot send a COPY to the office: " + trimmed(PQerrorMessage(conn_)));
  flush("asking for a COPY");
  PGresult* r = next_result("asking for a COPY");
  if (r == nullptr || PQresultStatus(r) != PGRES_COPY_OUT) {
    if (r) PQclear(r);
    finish_results("a COPY");
    lost("the office did not send a COPY");
  }
  PQclear(r);
  try {
    for (;;) {
      char* buf = nullptr;
      const int n = PQgetCopyData(conn_, &buf, 1);
      if (n > 0) {
        const std::string_view bytes(buf, static_cast<std::size_t>(n));
        try {
          piece(bytes);
        } catch (...) {
          PQfreemem(buf);
          throw;
        }
        PQfreemem(buf);
      } else if (n == 0) {
        wait(true, false, "reading a COPY");
        if (PQconsumeInput(conn_) == 0)
          lost("the link to the office broke while reading: " + trimmed(PQerrorMessage(conn_)));
      } else if (n == -1) {
        break;
      } else {
        lost("the link to the office broke while reading: " + trimmed(PQerrorMessage(conn_)));
      }
    }
  } catch (const LinkError&) {
    throw;
  } catch (...) {
    // The stream is half read: the connection cannot be used for anything else.
    close();
    throw;
  }
  finish_results("a COPY");
}

}  // namespace office::pg
