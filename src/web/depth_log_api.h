// The depth log of the web view: the runs recorded in the station home, and a window of one
// run's mud log drawn by the home's layout file, as JSON for the page's canvas
// (docs/web-api.md). The curves come as lines already placed across their tracks by the
// same model the PDF is drawn from (mudlog/curve_path.h), so the page draws what a print
// shows.
//
// The handlers read the files on each request, through the file system seam, and answer a
// bounded window (depth_log_format.h); they keep no state and may run on any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "web/server.h"

namespace lib {
class FileSystem;
}

namespace web {

struct DepthLogHome {
  std::string home;  // the station home, ending with '/'
  lib::FileSystem* fs = nullptr;
};

// GET /api/depthlog/runs
RouteAnswer depth_log_runs(const DepthLogHome& home);
// GET /api/depthlog?run=N&from=M&to=M
RouteAnswer depth_log_window(const DepthLogHome& home, std::string_view query);

// Both, as routes for the server.
std::vector<Route> depth_log_routes(DepthLogHome home);

}  // namespace web
