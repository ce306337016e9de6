// What every halvexctl command works on: the library loaded in this process,
// on the real hardware or on the virtual board, and what it detected.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "halvex32_service.h"

namespace halvexctl {

struct Context {
    bool virtualBoard = false;
    std::string model;         // virtual board model
    bool loaded = false;       // load sequence succeeded (hardware access open)
    hx::service::Info info{};  // filled by Attach
};

// A subcommand: what it runs, and whether the library is loaded around it.
struct Command {
    std::function<int(Context&)> run;
    bool loads = true;
};

// Loads the library on the chosen back-end. Returns false (after one line
// on stderr) when the virtual model is unknown.
bool Attach(Context& ctx);
void Detach(Context& ctx);

using Ms = unsigned long long;
inline constexpr Ms kMsPerSecond = 1000;
inline constexpr Ms kMsPerMinute = 60 * kMsPerSecond;
inline constexpr Ms kMsPerHour = 60 * kMsPerMinute;

// "500ms", "5s", "10m", "1h"; a bare number is seconds.
std::optional<Ms> ParseDuration(const std::string& text);
// A number as 0x35, 35h or 53; false for anything else or above `max`.
bool ParseNumber(const std::string& text, unsigned long long max, uint32_t* out);

// Ctrl-C ends the waits below instead of the program while caught.
void CatchInterrupt(bool on);
bool Interrupted();
// Sleeps `ms`, or less when Ctrl-C comes.
void SleepMs(Ms ms);

// Prints "halvexctl: <message>" on stderr and returns the exit code 1.
int Fail(const std::string& message);

// 0 when the library is loaded on a detected model that has `feature`;
// otherwise says what is missing ("Trelo-01 has no <what>") and returns 1.
int Require(const Context& ctx, bool feature, const std::string& what);
// The same for a slot group of the model: its family must not be empty.
int RequireGroup(const Context& ctx, hx::service::Group group, const std::string& what);

}  // namespace halvexctl
