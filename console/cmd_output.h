#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/yield_fn.h"

// Runs console programs hidden and captures what they print; checks at
// start-up that the machine is online.
namespace verdigo {

inline constexpr std::string_view kFailedToCreateProcess =
    "Failed to create process, check the path of the command line.";
inline constexpr std::string_view kOnlineWarning =
    "You must be online to use this software accurately.";

// The public host the connectivity check pings.
inline constexpr std::string_view kOnlineCheckHost = "one.one.one.one";
// How long the connectivity check may hold start-up, whatever ping does.
inline constexpr std::chrono::seconds kOnlineCheckLimit{5};

using ConsoleClock = std::chrono::steady_clock;

// The words of a command line: words are separated by spaces or tabs, and a
// pair of double quotes groups the text between them, blanks included, into
// the word (the quotes themselves are dropped; `""` alone is an empty word).
// There is no escape character: a word cannot hold a double quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Runs `commandLine` (code-page text; its first word is the program, looked
// up on PATH) with no terminal and standard input from /dev/null, and
// returns what it writes to the standard output and/or standard error, as
// wanted, in the order written, as code-page bytes. With `convertOem` the
// output is read as UTF-8, the console's encoding; without it the bytes are
// taken as code-page bytes already.
//
// Returns kFailedToCreateProcess when the program cannot be started, and the
// empty text when no pipe can be made. Throws Failure(kInvalidProcedureCall)
// when neither stream is wanted. `yield` runs between reads and while the
// program is silent. At `deadline` the program's process group is killed and
// what was read so far is returned. The child is always reaped.
std::string RunConsoleCommand(std::string_view commandLine, bool wantStdOut, bool wantStdErr,
                              bool convertOem, const YieldFn& yield = {},
                              std::optional<ConsoleClock::time_point> deadline = std::nullopt);

// The command line of the connectivity check: one echo request with a wait of
// at most 3 s; its output holds "bytes=" exactly when a reply arrived.
std::string OnlineCheckCommandLine();

using WarnFn = std::function<void(const std::string& text)>;

// Pings kOnlineCheckHost once and calls `warn` with kOnlineWarning when no
// reply came back (also when ping is missing or printed nothing). Returns
// within about kOnlineCheckLimit.
void CheckOnline(const WarnFn& warn, const YieldFn& yield);

}  // namespace verdigo
