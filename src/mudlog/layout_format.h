// The mud log layout file (docs/log-layout.md), shared by its reader and the starter layout
// the station writes on its first start. An INI-style text a mud logger edits by hand:
//
//   # comment
//   [log]
//   title = Mud log
//   scale = 500                   the depth scale 1:500
//   page = 210x297                page width x height, mm
//
//   [track]                       one section per track, left to right
//   kind = curves                 depth | curves | operations | text
//   title = Gas
//   width = 40                    mm
//   against = lag                 curves plotted against the bit depth (depth) or lag depth
//   grid = 10                     vertical grid divisions
//   curve = сумм_газ colour=#c00000 style=solid scale=log left=0.01 right=100 wrap=no
//   journals = remarks, mud_log   text tracks: which journals they show
//
// A curve line names a recorded parameter (or a computed one, @drill_time and @rop) and then
// key=value attributes in any order; attributes left out take the defaults below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace mudlog::layout_format {

// The file in the station home.
inline constexpr std::string_view kFileName = "log_layout.ini";

inline constexpr std::string_view kLogSection = "log";
inline constexpr std::string_view kTrackSection = "track";

// [log] keys.
inline constexpr std::string_view kTitleKey = "title";
inline constexpr std::string_view kScaleKey = "scale";
inline constexpr std::string_view kPageKey = "page";

// [track] keys.
inline constexpr std::string_view kKindKey = "kind";
inline constexpr std::string_view kWidthKey = "width";
inline constexpr std::string_view kAgainstKey = "against";
inline constexpr std::string_view kGridKey = "grid";
inline constexpr std::string_view kCurveKey = "curve";
inline constexpr std::string_view kJournalsKey = "journals";

// Track kinds.
inline constexpr std::string_view kKindDepth = "depth";
inline constexpr std::string_view kKindCurves = "curves";
inline constexpr std::string_view kKindOperations = "operations";
inline constexpr std::string_view kKindText = "text";

// What a curves track is plotted against: the depth file's depth, or the lag file's.
inline constexpr std::string_view kAgainstDepth = "depth";
inline constexpr std::string_view kAgainstLag = "lag";

// Journals of a text track.
inline constexpr std::string_view kJournalRemarks = "remarks";
inline constexpr std::string_view kJournalMudLog = "mud_log";

// Curve attributes and their words.
inline constexpr std::string_view kColourAttr = "colour";
inline constexpr std::string_view kStyleAttr = "style";
inline constexpr std::string_view kScaleAttr = "scale";
inline constexpr std::string_view kLeftAttr = "left";
inline constexpr std::string_view kRightAttr = "right";
inline constexpr std::string_view kWrapAttr = "wrap";
inline constexpr std::string_view kWidthAttr = "width";  // line width, mm
inline constexpr std::string_view kStyleSolid = "solid";
inline constexpr std::string_view kStyleDashed = "dashed";
inline constexpr std::string_view kStyleDotted = "dotted";
inline constexpr std::string_view kScaleLinear = "linear";
inline constexpr std::string_view kScaleLog = "log";

// Computed curves: minutes per metre between two depth lines, and metres per hour.
inline constexpr std::string_view kDrillTime = "@drill_time";
inline constexpr std::string_view kRop = "@rop";

// Defaults.
inline constexpr int kDefaultScale = 500;
inline constexpr double kDefaultPageWidthMm = 210;
inline constexpr double kDefaultPageHeightMm = 297;
inline constexpr double kDefaultTrackWidthMm = 30;
inline constexpr int kDefaultGrid = 10;
inline constexpr std::uint32_t kDefaultColour = 0x000000;
inline constexpr double kDefaultLineWidthMm = 0.3;

// Limits: they keep a drawing readable and bound what the web view sends for a window.
inline constexpr std::size_t kMaxFileBytes = 64 * 1024;
inline constexpr std::size_t kMaxTracks = 16;
inline constexpr std::size_t kMaxCurvesPerTrack = 6;
inline constexpr std::size_t kMaxCurves = 24;
inline constexpr int kMinScale = 50;     // 1:50
inline constexpr int kMaxScale = 10000;  // 1:10000
inline constexpr double kMinTrackWidthMm = 4;
inline constexpr double kMaxTrackWidthMm = 200;
inline constexpr double kMinPageMm = 100;
inline constexpr double kMaxPageMm = 2000;
inline constexpr int kMaxGrid = 50;
inline constexpr double kMinLineWidthMm = 0.05;
inline constexpr double kMaxLineWidthMm = 2;

}  // namespace mudlog::layout_format
