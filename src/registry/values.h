// The value and variable registry: the one place where any module, formula or plug-in
// reads a number by name without knowing which module computes it, writes a current value
// by name, keeps named text variables and calls named numeric functions.
//
// Registered values and functions are keyed case-insensitively (Cyrillic included) and the
// first registration of a name wins; variables are case-sensitive. A name that is not a
// registered value reads from the averaged data of the data storage, and writing a value
// goes to the storage's current data (through ValuesBackend), so device parameters and
// computed values share one name space for readers.
//
// Every operation except param_exists and the two copy helpers takes the system lock for
// its whole duration; the lock is re-entrant, so a getter may call back into the registry.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lib/ident.h"
#include "lib/lock_object.h"

namespace reg {

// How a registered value is meant to be shown; the displaying side decides the form.
using ValueType = std::int32_t;
inline constexpr ValueType kValuePlain = 0;          // a number with its unit
inline constexpr ValueType kValueRaceTime = 1;       // an accumulated time of the bit run
inline constexpr ValueType kValueShortInterval = 2;  // a short interval (lag, cycle time)
inline constexpr ValueType kValueCount = 3;          // a whole count (stands, pipes)

// The record handed out for a value or a table parameter.
struct ValueParam {
  std::string full_name;
  std::string short_name;
  std::string unit;
  std::string name;
  ValueType type = kValuePlain;
  bool operator==(const ValueParam&) const = default;
};

namespace values_detailed {
struct IntValue {
  std::string full_name;
  std::string unit;
  ValueType type = kValuePlain;
  std::function<double()> getter;
};
}  // namespace values_detailed

// The data storage side of the registry: averaged reads, current writes and the parameter
// table, all by parameter identifier.
class ValuesBackend {
 public:
  virtual ~ValuesBackend() = default;
  // The averaged value of the parameter; what the store yields for an unknown name (0).
  virtual double get_average(const std::string& name) = 0;
  virtual void set_current(const std::string& name, double value) = 0;
  // True when the store holds a parameter of that identifier. A store that cannot tell
  // says true, so the registry never reports a name it merely cannot check.
  virtual bool has_param(const std::string& /*name*/) { return true; }
  // Fills `param` from the table row of that identifier; false when there is none.
  virtual bool get_table_param(const std::string& name, ValueParam& param) = 0;
  // Appends every table row, in table order.
  virtual void enum_table_params(std::vector<ValueParam>& params) = 0;
};

class Values {
 public:
  using Function1 = std::function<double(double)>;
  using Function2 = std::function<double(double, double)>;
  using Function3 = std::function<double(double, double, double)>;

  using ErrorSink = std::function<void(const std::string& message)>;

  // `lock` is the system lock; `backend` may be set later (reads then give 0).
  explicit Values(lib::lock_object& lock, ValuesBackend* backend = nullptr);
  void set_backend(ValuesBackend* backend);
  // Where a name that is neither registered nor in the store is reported (a misspelt name in
  // a formula, a plug-in or a module): once per name, however often it is read or written.
  void set_error_sink(ErrorSink sink);

  void register_value(const std::string& name, const std::string& full_name,
                      const std::string& unit, ValueType type, std::function<double()> getter);
  // A name that is neither registered nor in the store reads what the store yields for it
  // (0) and is reported to the error sink.
  double get(const std::string& name);
  // The value as get() reads it, or nullopt when the name is neither registered nor in the
  // store (reported like get()).
  std::optional<double> find(const std::string& name);
  // True when get() would find the name: a registered value or a parameter of the store.
  bool has_value(const std::string& name);
  // Writes the storage's current value; a registered value of that name is not touched.
  // False, and the write is lost, when the store has no parameter of that name (reported to
  // the error sink once per name).
  bool set(const std::string& name, double value);
  bool get_param(const std::string& name, ValueParam& param);
  void enum_values(std::vector<ValueParam>& list, bool with_params);
  void enum_variables(std::vector<std::string>& list);

  void set_variable(const std::string& name, const std::string& value);
  std::string get_variable(const std::string& name);
  double get_float_variable(const std::string& name);

  void register_function1(const char* name, Function1 f);
  void register_function2(const char* name, Function2 f);
  void register_function3(const char* name, Function3 f);
  // 0.0 when no function of that name exists.
  double call_function1(const char* name, double a);
  double call_function2(const char* name, double a, double b);
  double call_function3(const char* name, double a, double b, double c);

  // True for a variable (exact case) or a registered value (any case); the parameter table
  // is not consulted. Takes no lock: call it holding the system lock, or when nobody
  // registers names.
  bool param_exists(const std::string& name) const;

  // Copies without locking.
  static void int_value_to_value_param(const values_detailed::IntValue& value, ValueParam& param);

 private:
  // Reports a name the store does not know, once per name. Call with the lock held.
  void report_unknown(const std::string& name, const char* what);

  lib::lock_object& lock_;
  ValuesBackend* backend_;
  ErrorSink error_sink_;
  std::set<std::string, lib::IdentLess> reported_;
  std::map<std::string, values_detailed::IntValue, lib::IdentLess> values_;
  std::map<std::string, std::string> variables_;
  std::map<std::string, Function1, lib::IdentLess> functions1_;
  std::map<std::string, Function2, lib::IdentLess> functions2_;
  std::map<std::string, Function3, lib::IdentLess> functions3_;
};

}  // namespace reg
