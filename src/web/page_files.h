// The files of the web view's page, built into the program (src/web/page_files.cmake).
#pragma once

#include <vector>

#include "web/server.h"

namespace web {

const std::vector<Asset>& page_files();

}  // namespace web
