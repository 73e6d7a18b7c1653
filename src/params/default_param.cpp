#include "params/default_param.h"

#include "params/param.h"

namespace params {

void DefaultParam::assign_to(Param& row) const {
  row.full_name = full_name;
  row.short_name = short_name;
  row.unit = unit;
  row.identifier = identifier;
  row.channel.channel = channel;
  row.channel.type = channel_type;
  row.averaging = averaging;
  row.range = range;
  row.zero = zero;
  row.scale_min = scale_min;
  row.scale_max = scale_max;
  row.attribute = attribute;
}

}  // namespace params
