// The office's accounts and their sessions, kept in the office database (tables
// office_users and office_sessions, docs/office-database.md). Passwords are kept as argon2id
// hashes (libsodium), sessions as the SHA-256 of their token.
//
// Two roles: `read` sees the pages and exports; `write` also manages the accounts and the
// rigs' titles. Not thread-safe: one Accounts per connection, used by one thread.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "office/pg/pg_connection.h"

namespace office::view {

enum class Role { read, write };
std::optional<Role> role_of_name(std::string_view name);
const char* role_name(Role role);

// Refused input or an account that does not exist (or already does): the message is for
// the user as it stands.
class AccountError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The reason a name or password is refused (office_web_format.h), nullopt when it is fine.
std::optional<std::string> check_user_name(std::string_view name);
std::optional<std::string> check_password(std::string_view password);

// An argon2id hash of `password` with libsodium's interactive cost, in its own text form
// (the salt and cost inside); and its check. Throws std::runtime_error only when the
// machine has not the memory the hash needs.
std::string hash_password(std::string_view password);
bool password_matches(const std::string& hash, std::string_view password);

struct User {
  std::string name;
  Role role = Role::read;
};

class Accounts {
 public:
  explicit Accounts(pg::Connection& connection) : conn_(connection) {}

  // Each throws AccountError for a refused name, password or role or an account that is
  // (add) or is not (the others) there, and what the connection throws.
  void add(const std::string& name, const std::string& password, Role role);
  // Ends the account's sessions too.
  void set_password(const std::string& name, const std::string& password);
  void remove(const std::string& name);
  std::vector<User> list();

  // The account when the password is its own; nullopt otherwise, taking as long for a
  // name that does not exist.
  std::optional<User> check_login(const std::string& name, const std::string& password);

  // A new session of `user`, ending `hours` from now: its token for the cookie.
  std::string open_session(const User& user, int hours);
  // The account of a session not yet ended, else nullopt (any text is safe to pass).
  std::optional<User> session_user(std::string_view token);
  void close_session(std::string_view token);

 private:
  pg::Connection& conn_;
};

}  // namespace office::view
