#include "office/web/accounts.h"

#include <sodium.h>

#include "office/web/office_web_format.h"

namespace office::view {
namespace {

void need_sodium() {
  // Idempotent and thread-safe; fails only when the system has no source of randomness.
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start (no randomness)");
}

std::string hex(const unsigned char* bytes, std::size_t n) {
  std::string out(n * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), bytes, n);
  out.pop_back();
  return out;
}

// What the database keeps of a token.
std::string digest(std::string_view token) {
  unsigned char d[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(d, reinterpret_cast<const unsigned char*>(token.data()), token.size());
  return hex(d, sizeof d);
}

bool is_unique_violation(const pg::SqlError& e) {
  return e.sqlstate() == "23505";
}

}  // namespace

std::optional<Role> role_of_name(std::string_view name) {
  if (name == "read") return Role::read;
  if (name == "write") return Role::write;
  return std::nullopt;
}

const char* role_name(Role role) {
  return role == Role::write ? "write" : "read";
}

std::optional<std::string> check_user_name(std::string_view name) {
  if (name.empty() || name.size() > web_format::kMaxUserName) {
    return "an account's name has 1 to " + std::to_string(web_format::kMaxUserName) + " characters";
  }
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return "an account's name holds only Latin letters, digits, '.', '_' and '-'";
  }
  return std::nullopt;
}

std::optional<std::string> check_password(std::string_view password) {
  if (password.size() < web_format::kMinPassword || password.size() > web_format::kMaxPassword) {
    return "a password has " + std::to_string(web_format::kMinPassword) + " to " +
           std::to_string(web_format::kMaxPassword) + " bytes";
  }
  return std::nullopt;
}

std::string hash_password(std::string_view password) {
  need_sodium();
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(out, password.data(), password.size(),
                            crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("not enough memory to hash a password");
  }
  return out;
}

bool password_matches(const std::string& hash, std::string_view password) {
  need_sodium();
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void Accounts::add(const std::string& name, const std::string& password, Role role) {
  if (auto why = check_user_name(name)) throw AccountError(*why);
  if (auto why = check_password(password)) throw AccountError(*why);
  try {
    conn_.exec("INSERT INTO office_users (name, password_hash, role) VALUES ($1, $2, $3)",
               {pg::text_param(name), pg::text_param(hash_password(password)),
                pg::text_param(role_name(role))});
  } catch (const pg::SqlError& e) {
    if (is_unique_violation(e)) throw AccountError("the account '" + name + "' exists already");
    throw;
  }
}

void Accounts::set_password(const std::string& name, const std::string& password) {
  if (auto why = check_password(password)) throw AccountError(*why);
  const std::string hash = hash_password(password);
  conn_.exec("BEGIN");
  try {
    const auto changed =
        conn_
            .exec("UPDATE office_users SET password_hash = $2, changed = now() WHERE name = $1",
                  {pg::text_param(name), pg::text_param(hash)})
            .affected();
    conn_.exec("DELETE FROM office_sessions WHERE user_name = $1", {pg::text_param(name)});
    conn_.exec(changed == 1 ? "COMMIT" : "ROLLBACK");
    if (changed != 1) throw AccountError("there is no account '" + name + "'");
  } catch (const pg::SqlError&) {
    conn_.exec("ROLLBACK");
    throw;
  }
}

void Accounts::remove(const std::string& name) {
  // The account's sessions go with it (ON DELETE CASCADE).
  if (conn_.exec("DELETE FROM office_users WHERE name = $1", {pg::text_param(name)}).affected() !=
      1) {
    throw AccountError("there is no account '" + name + "'");
  }
}

std::vector<User> Accounts::list() {
  const pg::Result r = conn_.exec("SELECT name, role FROM office_users ORDER BY name");
  std::vector<User> users;
  for (int i = 0; i < r.rows(); ++i) users.push_back({r.text(i, 0), *role_of_name(r.text(i, 1))});
  return users;
}

std::optional<User> Accounts::check_login(const std::string& name, const std::string& password) {
  // A name that is no account is checked against a hash of its own, so the time taken does
  // not tell which names exist.
  static const std::string kNobody = hash_password("no account has this password");
  const pg::Result r = conn_.exec("SELECT password_hash, role FROM office_users WHERE name = $1",
                                  {pg::text_param(name)});
  const bool known = r.rows() == 1;
  const bool matches = password_matches(known ? r.text(0, 0) : kNobody, password);
  if (!known || !matches) return std::nullopt;
  return User{name, *role_of_name(r.text(0, 1))};
}

std::string Accounts::open_session(const User& user, int hours) {
  need_sodium();
  unsigned char bytes[web_format::kTokenBytes];
  randombytes_buf(bytes, sizeof bytes);
  const std::string token = hex(bytes, sizeof bytes);
  // Sessions past their end are dropped as new ones come, so the table holds no more than
  // the live ones and those of the last day.
  conn_.exec("DELETE FROM office_sessions WHERE expires < now() - interval '1 day'");
  conn_.exec(
      "INSERT INTO office_sessions (token_digest, user_name, expires) VALUES ($1, $2, now() + "
      "make_interval(hours => $3))",
      {pg::text_param(digest(token)), pg::text_param(user.name), pg::int4_param(hours)});
  return token;
}

std::optional<User> Accounts::session_user(std::string_view token) {
  if (token.size() != 2 * web_format::kTokenBytes) return std::nullopt;
  const pg::Result r = conn_.exec(
      "SELECT u.name, u.role FROM office_sessions s JOIN office_users u ON u.name = s.user_name "
      "WHERE s.token_digest = $1 AND s.expires > now()",
      {pg::text_param(digest(token))});
  if (r.rows() != 1) return std::nullopt;
  return User{r.text(0, 0), *role_of_name(r.text(0, 1))};
}

void Accounts::close_session(std::string_view token) {
  conn_.exec("DELETE FROM office_sessions WHERE token_digest = $1",
             {pg::text_param(digest(token))});
}

}  // namespace office::view
