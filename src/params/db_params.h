// Which parameters are written to the database. A fixed list of essential parameters is
// always written; the operator picks further ones, kept as the table's database set.
#pragma once

#include <span>
#include <string_view>

namespace params {

// The parameters that are always written, in their fixed order. Compared exactly.
std::span<const std::string_view> const_db_params();
bool is_const_db_param(std::string_view identifier);

}  // namespace params
