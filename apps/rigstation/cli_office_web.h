// The office view's commands (`office serve`, `office user ...`), added to `office`.
#pragma once

#include <CLI/CLI.hpp>

void add_office_web(CLI::App& office);
