// The files of the office view's pages, built into the program
// (src/office/web/page_files.cmake), with the web view's stylesheet, parameter table and
// chart library.
#pragma once

#include <vector>

#include "web/server.h"

namespace office::view {

const std::vector<::web::Asset>& office_page_files();

}  // namespace office::view
