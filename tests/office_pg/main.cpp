// The office database tests run against a PostgreSQL server of their own, started once for
// all cases. Without the PostgreSQL binaries they are skipped (exit code 77), saying so.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "office_pg_support.h"

namespace office_pg_test {
namespace {
std::unique_ptr<testing_support::PgServer> g_server;
}
testing_support::PgServer& server() {
  return *g_server;
}
}  // namespace office_pg_test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const std::string bin = testing_support::PgServer::find_binaries();
  if (bin.empty()) {
    std::fprintf(stderr,
                 "office database tests skipped: no PostgreSQL under /usr/lib/postgresql "
                 "(scripts/setup.sh installs the package postgresql)\n");
    return 77;
  }
  try {
    office_pg_test::g_server = std::make_unique<testing_support::PgServer>(bin);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cannot start the test server: %s\n", e.what());
    return 1;
  }
  const int rc = RUN_ALL_TESTS();
  office_pg_test::g_server.reset();
  return rc;
}
