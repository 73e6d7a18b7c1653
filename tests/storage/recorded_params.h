// Parameter lists for the recording tests: each identifier stands as its own short name, with
// the full name "имя <identifier>", in one unit and one scale.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "storage/real_time_records.h"

namespace recording_test {

inline rtf::ParamList param_list(std::initializer_list<const char*> ids, const char* unit,
                                 float scale_min = 0, float scale_max = 100) {
  auto list = std::make_shared<std::vector<rtf::RecordedParam>>();
  for (const char* id : ids)
    list->push_back({std::string("имя ") + id, unit, id, id, scale_min, scale_max});
  return list;
}

}  // namespace recording_test
