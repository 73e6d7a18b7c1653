// The INI layout of a threshold list, shared by its reader and writer
// (docs/alarm-thresholds.md):
//
//   [MinMaxValues]
//   size=2
//   version=1
//   item0="0,нагрузка,0,0,1,30"
//   item1="1,давление_на_входе,0,0,1,200,2"
//   item2="3,"сумм газ",0,0,1,0.5,"+79001234567,+79007654321""
//
// Each item is the comma text of the threshold's fields, enclosed in one more pair of double
// quotes and nothing else; threshold_line.h encodes and decodes it, and also reads the
// doubled form older builds wrote.
#pragma once

#include <cstddef>

namespace alarms {

inline constexpr const char* kThresholdSection = "MinMaxValues";
inline constexpr const char* kSizeKey = "size";
inline constexpr const char* kVersionKey = "version";
// Line i is stored under kItemKeyPrefix followed by i in decimal, counted from 0.
inline constexpr const char* kItemKeyPrefix = "item";

// The layout written now. Version 0 is the legacy layout, read only.
inline constexpr int kCurrentLineVersion = 1;

// Threshold kinds, the first item of a current line.
inline constexpr int kKindSound = 0;
inline constexpr int kKindRelay = 1;
inline constexpr int kKindText = 2;  // has a name but no class: read as a sound threshold
inline constexpr int kKindSms = 3;
inline constexpr int kKindDepthInterval = 4;
// What an unreadable or missing kind reads as: no threshold is made from such a line.
inline constexpr int kNoKind = -1;

// Item positions of a current (version 1) line.
namespace line_v1 {
inline constexpr std::size_t kKind = 0;
inline constexpr std::size_t kName = 1;
inline constexpr std::size_t kHasMin = 2;
inline constexpr std::size_t kMin = 3;
inline constexpr std::size_t kHasMax = 4;
inline constexpr std::size_t kMax = 5;
// Kind-specific items follow the common six.
inline constexpr std::size_t kRelayChannel = 6;
inline constexpr std::size_t kPhones = 6;
inline constexpr std::size_t kDepthFrom = 6;
inline constexpr std::size_t kDepthTo = 7;
inline constexpr std::size_t kCommonItems = 6;
}  // namespace line_v1

// Item positions of a legacy (version 0) line. One legacy line holds a sound threshold and,
// when its relay channel is set, a relay threshold with limits of its own.
namespace line_v0 {
inline constexpr std::size_t kName = 0;
inline constexpr std::size_t kHasMin = 1;
inline constexpr std::size_t kMin = 2;
inline constexpr std::size_t kHasMax = 3;
inline constexpr std::size_t kMax = 4;
inline constexpr std::size_t kRelayChannel = 5;
inline constexpr std::size_t kRelayHasMin = 6;
inline constexpr std::size_t kRelayMin = 7;
inline constexpr std::size_t kRelayHasMax = 8;
inline constexpr std::size_t kRelayMax = 9;
inline constexpr std::size_t kItems = 10;
}  // namespace line_v0

// Unset relay channel, in lines and in objects.
inline constexpr int kNoRelayChannel = -1;

}  // namespace alarms
