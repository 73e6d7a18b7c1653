// rigstation office serve and office user: the office's view of every rig over HTTP or
// HTTPS (docs/office-web-api.md), and its accounts in the office database.
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "cli_office_web.h"
#include "lib/date_time.h"
#include "office/pg/pg_office_db.h"
#include "office/web/accounts.h"
#include "office/web/office_server.h"
#include "web/query.h"

namespace {

constexpr int kExitFailed = 1;

struct ServeArgs {
  std::string db;
  std::string http = "127.0.0.1:8090";
  std::string cert, key;
  bool insecure_http = false;
  int session_hours = 12;
};

struct UserArgs {
  std::string db;
  std::string name;
  std::string role = "read";
};

std::atomic<bool> g_stop{false};
void on_signal(int) {
  g_stop = true;
}

void log_line(const std::string& line) {
  const std::string stamp = lib::format_date_time(lib::now(lib::system_clock()));
  std::fprintf(stderr, "(%s) %s\n", stamp.c_str(), line.c_str());
}

int run_serve(const ServeArgs& args) {
  std::string error;
  const auto listen = web::parse_listen_address(args.http, error);
  if (!listen) {
    std::fprintf(stderr, "office serve: --http %s: %s\n", args.http.c_str(), error.c_str());
    return kExitFailed;
  }
  office::view::OfficeServerOptions o;
  o.db = args.db;
  o.address = listen->host;
  o.port = static_cast<std::uint16_t>(listen->port);
  o.tls_certificate = args.cert;
  o.tls_key = args.key;
  o.plain_http_anywhere = args.insecure_http;
  o.session_hours = args.session_hours;
  o.log = log_line;
  office::view::OfficeServer server(o);
  try {
    server.start();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "office serve: %s\n", e.what());
    return kExitFailed;
  }
  const std::string host =
      listen->host.find(':') != std::string::npos ? "[" + listen->host + "]" : listen->host;
  std::fprintf(stderr, "office view: serving %s://%s:%u/ from %s\n",
               server.secure() ? "https" : "http", host.c_str(), server.port(),
               office::pg::Connection::display(args.db).c_str());
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  while (!g_stop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.stop();
  std::fprintf(stderr, "office view: stopped\n");
  return 0;
}

// A password from the standard input: asked for without echo at a terminal, else its first
// line (for scripts).
std::string read_password(const std::string& name) {
  const bool tty = ::isatty(0) == 1;
  termios saved{};
  if (tty) {
    std::fprintf(stderr, "password for %s: ", name.c_str());
    ::tcgetattr(0, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(0, TCSANOW, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (tty) {
    ::tcsetattr(0, TCSANOW, &saved);
    std::fprintf(stderr, "\n");
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int run_user(const std::string& what, const UserArgs& args) {
  office::pg::PgOfficeDb db(args.db);
  office::view::Accounts accounts(db.connection());
  try {
    db.connection().connect();
    if (what == "list") {
      for (const auto& u : accounts.list())
        std::printf("%s\t%s\n", u.name.c_str(), office::view::role_name(u.role));
      return 0;
    }
    if (what == "add") {
      const auto role = office::view::role_of_name(args.role);
      if (!role) {
        std::fprintf(stderr, "office user add: --role %s: read or write\n", args.role.c_str());
        return kExitFailed;
      }
      accounts.add(args.name, read_password(args.name), *role);
      std::printf("office: account '%s' added (%s)\n", args.name.c_str(), args.role.c_str());
    } else if (what == "passwd") {
      accounts.set_password(args.name, read_password(args.name));
      std::printf("office: password of '%s' changed; its sessions ended\n", args.name.c_str());
    } else {
      accounts.remove(args.name);
      std::printf("office: account '%s' removed\n", args.name.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "office user %s: %s\n", what.c_str(), e.what());
    return kExitFailed;
  }
  return 0;
}

}  // namespace

void add_office_web(CLI::App& office) {
  auto serve_args = std::make_shared<ServeArgs>();
  CLI::App* serve = office.add_subcommand(
      "serve", "Serve the office's view of every rig from the office database, until stopped");
  serve->add_option("--db", serve_args->db, "The office database, a libpq URI or key=value string")
      ->required();
  serve->add_option("--http", serve_args->http,
                    "Listen at HOST:PORT, or PORT on 127.0.0.1 (default 127.0.0.1:8090)");
  serve->add_option("--cert", serve_args->cert, "HTTPS: the certificate chain (PEM)");
  serve->add_option("--key", serve_args->key, "HTTPS: the certificate's private key (PEM)");
  serve->add_flag("--insecure-http", serve_args->insecure_http,
                  "Serve plain HTTP on an address that is not loopback (passwords and sessions "
                  "then cross the network readable)");
  serve
      ->add_option("--session-hours", serve_args->session_hours, "Hours a login lasts (default 12)")
      ->check(CLI::Range(1, 24 * 30));
  serve->callback([serve_args] {
    if (const int rc = run_serve(*serve_args); rc != 0) throw CLI::RuntimeError(rc);
  });

  auto user_args = std::make_shared<UserArgs>();
  CLI::App* user = office.add_subcommand("user", "The office view's accounts");
  user->require_subcommand(1);
  const auto common = [&](CLI::App* cmd, bool named) {
    cmd->add_option("--db", user_args->db, "The office database, a libpq URI or key=value string")
        ->required();
    if (named) cmd->add_option("name", user_args->name, "The account's name")->required();
  };
  CLI::App* add = user->add_subcommand(
      "add", "Add an account; its password is asked for (or read as the first line of stdin)");
  common(add, true);
  add->add_option("--role", user_args->role,
                  "read (the pages and exports) or write (also "
                  "accounts and rig titles); default read");
  CLI::App* passwd = user->add_subcommand(
      "passwd", "Give an account a new password (asked for, or the first line of stdin)");
  common(passwd, true);
  CLI::App* del = user->add_subcommand("del", "Remove an account");
  common(del, true);
  CLI::App* list = user->add_subcommand("list", "List the accounts and their roles");
  common(list, false);
  for (CLI::App* cmd : {add, passwd, del, list}) {
    cmd->callback([user_args, name = cmd->get_name()] {
      if (const int rc = run_user(name, *user_args); rc != 0) throw CLI::RuntimeError(rc);
    });
  }
}
