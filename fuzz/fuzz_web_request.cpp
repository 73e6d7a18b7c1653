// Feeds arbitrary bytes to the parts of a request the web view reads itself: the query
// string, the parameter list and time of a history request, the body of a write, the bearer
// token, the static file path, the listen address and the token file. None may crash, and
// what they accept keeps their promises: a served path never climbs out, a token has no
// blank, a list never passes its bound, and every text the server answers back or hands to
// the station goes through the JSON writer's strict form (which throws on a bad byte).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "web/query.h"
#include "web/token.h"
#include "web/web_format.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// As the server writes it; an ill-formed byte would throw type_error.316 here.
void as_json(const std::string& text) {
  check(!nlohmann::json{{"text", text}}.dump().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const web::Query q = web::parse_query(text);
  check(q.error.empty() || q.fields.empty());
  as_json(q.error);
  for (const auto& [name, value] : q.fields) {
    check(name.find('\0') == std::string::npos && value.find('\0') == std::string::npos);
    as_json(name);
    std::string error;
    if (const auto names = web::parse_param_list(value, error)) {
      check(names->size() <= web::format::kMaxHistoryParams);
      for (const auto& n : *names) {
        check(!n.empty() && n.find(',') == std::string::npos);
        as_json(n);  // answered back under "values" or "unknown"
      }
    } else {
      check(!error.empty());
    }
    if (const auto s = web::parse_seconds(value)) check(*s == *s);
  }

  for (const bool one_line : {false, true}) {
    std::string error;
    if (const auto body = web::write_text(text, one_line, false, error)) {
      check(!body->empty() && body->back() != '\n' && body->back() != '\r');
      check(!one_line || body->find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos);
      as_json(*body);  // a remark is shown in every tick's picture
    } else {
      check(!error.empty());
      as_json(error);
    }
  }

  if (const auto path = web::static_path(text)) {
    check(!path->empty() && path->front() == '/');
    check(path->find("/..") == std::string::npos && path->find("//") == std::string::npos);
    check(path->find('\\') == std::string::npos && path->find('\0') == std::string::npos);
  }

  if (const auto token = web::bearer_token(text)) {
    check(!token->empty());
    check(token->find(' ') == std::string::npos && token->find('\t') == std::string::npos);
    check(web::tokens_equal(*token, *token));
    check(!web::tokens_equal(*token + "x", *token));
  }

  std::string error;
  if (const auto a = web::parse_listen_address(text, error)) {
    check(a->port <= 65535 && !a->host.empty());
  } else {
    check(!error.empty());
  }

  const std::string token = web::token_of_file_text(std::string(text));
  check(token.empty() || token.size() == web::format::kTokenChars);
  return 0;
}
