// A source of a list of parameter rows, as the recorder walks it: the live table, a saved
// copy, or the fixed fast list.
#pragma once

namespace params {
class Param;
}

class ParamsProvider {
 public:
  virtual ~ParamsProvider() = default;
  virtual int count() const = 0;
  virtual const params::Param& param(int index) const = 0;
  // Prepares the list; nothing to do for most sources.
  virtual void init() {}
};
