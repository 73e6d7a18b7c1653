// The threshold kinds beyond the plain sound alarm. Each adds its own items at the end of
// the INI line and its own text in the editor's data column.
#pragma once

#include <string>

#include "alarms/min_max_value.h"

namespace alarms {

// Switches a console relay (numbered from 1) while the limit is broken.
class MinMaxRelayValue : public MinMaxValue {
 public:
  MinMaxRelayValue();
  MinMaxRelayValue(std::string name, float min, float max, int relay_channel = kNoRelayChannel);

  std::string get_ini_line() const override;
  // The legacy layout keeps the relay's channel and limits after the plain threshold's.
  void read_from_ini_line(int version, std::string_view line) override;
  // The channel in decimal.
  std::string get_data_string() const override;
  void read_from_grid_line(const lib::TextGrid& grid, std::size_t row) override;
  std::unique_ptr<MinMaxValue> clone() const override;

  int get_relay_channel() const { return relay_channel_; }
  void set_relay_channel(int channel) { relay_channel_ = channel; }

 private:
  int relay_channel_ = kNoRelayChannel;
};

// Carries the phone numbers an SMS about the alarm goes to; the sender is outside the
// library and takes them through get_phones.
class MinMaxSMSValue : public MinMaxValue {
 public:
  MinMaxSMSValue();
  MinMaxSMSValue(std::string name, float min, float max, std::string phones = {});

  std::string get_ini_line() const override;
  // The legacy layout had no SMS thresholds: version 0 reads nothing.
  void read_from_ini_line(int version, std::string_view line) override;
  // The phones, as stored.
  std::string get_data_string() const override;
  void read_from_grid_line(const lib::TextGrid& grid, std::size_t row) override;
  std::unique_ptr<MinMaxValue> clone() const override;

  // Phone numbers in comma text.
  void set_data(std::string phones) { phones_ = std::move(phones); }
  const std::string& get_phones() const { return phones_; }

 private:
  std::string phones_;
};

// Applies only while the bottom-hole depth lies within [depth_from, depth_to], and by
// default only while drilling.
class MinMaxRTKValue : public MinMaxValue {
 public:
  MinMaxRTKValue();
  MinMaxRTKValue(std::string name, float min, float max, float depth_from, float depth_to);

  std::string get_ini_line() const override;
  // The legacy layout had no depth-interval thresholds: version 0 reads nothing.
  void read_from_ini_line(int version, std::string_view line) override;
  // False outside the depth interval (both ends belong to it); else the plain check.
  bool check(float value, float depth, int operation) const override;
  // "<from> - <to>", each with two decimals.
  std::string get_data_string() const override;
  // Reads "<from> - <to>"; a part that is not a number reads as 0.
  void read_from_grid_line(const lib::TextGrid& grid, std::size_t row) override;
  std::unique_ptr<MinMaxValue> clone() const override;

  float get_depth_from() const { return depth_from_; }
  float get_depth_to() const { return depth_to_; }
  void set_depth_interval(float from, float to) {
    depth_from_ = from;
    depth_to_ = to;
  }

 private:
  float depth_from_ = 0;
  float depth_to_ = 0;
};

}  // namespace alarms
