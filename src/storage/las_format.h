// The LAS 2.0 export of a recording file (docs/las-export.md): the sections, the fixed
// mnemonics and the null value, shared by the exporter and its tests.
#pragma once

namespace rtf::las {

inline constexpr const char* kVersion = "2.0";
inline constexpr const char* kNull = "-999.25";
inline constexpr double kNullValue = -999.25;
// The index curve: depth in metres for the depth and lag files, seconds for the time files.
inline constexpr const char* kDepthIndex = "DEPT";
inline constexpr const char* kTimeIndex = "TIME";
// The bottom-hole depth, after the index of a time log (a depth log is indexed by it).
inline constexpr const char* kBottomDepth = "HDEP";
// The curves every export carries after the index.
inline constexpr const char* kBitDepth = "BDEP";
inline constexpr const char* kThirdDepth = "DEP3";
inline constexpr const char* kOperation = "OPER";

}  // namespace rtf::las
