// The control folder of a running station (docs/control-folder.md): how other programs, and
// `rigstation control`, hand the station an operator's command while it runs.
//
// A command is one line of text in a file "<name>.cmd" in the folder "control" of the station
// home, written whole (a temporary file renamed into place) so the station never reads half a
// command. Within a second the station carries it out, writes its answer as one line to
// "<name>.done" the same way, and removes the ".cmd" file. The answer starts with "ok" or
// "error", then a blank and the explanation.
//
//   bottom <m>          set the bottom-hole depth
//   bit <m>             set the bit depth (not below the bottom)
//   block <m>           set the block position
//   race <n>            start registration run n (a new run clears the lag queue)
//   race <n> continue   continue run n after a stop
//   race stop           end the registration run
//   operation <code>    force an operation by its code; "operation auto" ends forcing
//   stands <n> [<p>]    set the stands (and single pipes) in the hole
#pragma once

#include <cstddef>
#include <string_view>

namespace station::control_format {

inline constexpr std::string_view kFolder = "control";
inline constexpr std::string_view kCommandSuffix = ".cmd";
inline constexpr std::string_view kAnswerSuffix = ".done";
// A longer file is not a command; it is answered with an error and removed.
inline constexpr std::size_t kMaxCommandBytes = 1024;
// Commands carried out per tick, so a flood of files cannot stall the tick.
inline constexpr int kMaxCommandsPerTick = 16;

}  // namespace station::control_format
