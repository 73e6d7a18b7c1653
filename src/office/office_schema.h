// The office database's schema as numbered migrations (docs/office-database.md). A
// migration is applied once, in its own transaction, and noted in the table office_schema;
// `rigstation office migrate` applies those a database lacks, in order. A published
// migration is never changed: a change of the schema is a new one.
#pragma once

#include <string_view>
#include <vector>

namespace office {

struct Migration {
  int version;
  std::string_view what;  // one line for the operator
  std::string_view sql;
};

// Every migration, oldest first; the last one's version is kSchemaVersion.
const std::vector<Migration>& migrations();

}  // namespace office
