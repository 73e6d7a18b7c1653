// What the web view's depth log answers (docs/web-api.md): a window of a run's mud log, its
// size bounded so that one request never costs the server or the browser much, whatever
// the run.
#pragma once

#include <cstddef>
#include <string_view>

namespace web::depth_log_format {

inline constexpr std::string_view kRunsPath = "/api/depthlog/runs";
inline constexpr std::string_view kWindowPath = "/api/depthlog";

// A window without from and to: the last metres of the run.
inline constexpr double kDefaultWindowMetres = 200;
// The longest window one request may ask for.
inline constexpr double kMaxWindowMetres = 500;
// Points of one curve in a window, cuts at a wrapping scale's edges included; a finer run
// is thinned to the lowest and highest value of equal depth buckets, so its peaks still show.
inline constexpr std::size_t kMaxPointsPerCurve = 4000;
// Edge marks of one curve in a window (a stretch of values past its scale each), the
// shallowest first: more would not be read on a screen anyway.
inline constexpr std::size_t kMaxMarksPerCurve = 400;
// Journal texts in a window, and bytes of one text.
inline constexpr std::size_t kMaxTexts = 400;
inline constexpr std::size_t kMaxTextBytes = 600;
// Operation spans in a window (a span per change of operation).
inline constexpr std::size_t kMaxSpans = 4000;
// Runs listed, the newest first; the newest of them with their depths and well (each costs a
// read of its depth file), the others by number only.
inline constexpr std::size_t kMaxRuns = 200;
inline constexpr std::size_t kSummarizedRuns = 20;

}  // namespace web::depth_log_format
