// What the office view reads from the office database for its pages (docs/office-web-api.md):
// the fleet, one rig (its live frame and runs), a run's history by time or by depth, and a
// run written as LAS or CSV by the writers of `rec export` and `rec dump --csv`.
//
// Each takes the request's query as the client sent it, checks it, and answers a refusal
// (4xx, with the reason) for a malformed query or a rig or run the office does not hold.
// Database failures are thrown as they come (office::LinkError), for the caller to answer.
// What each reads is bounded (office_web_format.h).
#pragma once

#include <string_view>

#include "office/pg/pg_office_db.h"
#include "web/server.h"

namespace office::view {

// GET /api/fleet
::web::HttpAnswer fleet_view(pg::Connection& conn);
// GET /api/rig?rig=NAME
::web::HttpAnswer rig_view(pg::Connection& conn, std::string_view query);
// GET /api/history?rig=NAME&race=N&file=time|depth|lag|fast&params=a,b[&from=X&to=Y]
::web::HttpAnswer history_view(pg::Connection& conn, std::string_view query);
// GET /api/export?rig=NAME&race=N&file=...&format=las|csv[&params=a,b]
::web::HttpAnswer export_view(pg::PgOfficeDb& db, std::string_view query);
// POST /api/rig/title, {"rig": NAME, "title": TEXT}
::web::HttpAnswer set_title(pg::Connection& conn, const std::string& rig, const std::string& title);

// "{1.5,2,NaN}" (a real[] as PostgreSQL writes it) as numbers; a field that is no number
// gives NaN.
std::vector<float> parse_real_array(std::string_view text);

}  // namespace office::view
