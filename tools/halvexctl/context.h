// What every halvexctl command works on: the library loaded in this process,
// on the real hardware or on the virtual board, and what it detected.
#pragma once

#include <nlohmann/json.hpp>

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

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;     // the operation failed
inline constexpr int kExitUsage = 2;      // bad arguments or values, unknown model, outside the model's range
inline constexpr int kExitNoFeature = 3;  // the model has no such feature

// Prints "halvexctl: <message>" on stderr (also with --json) and returns `code`.
int Fail(const std::string& message, int code = kExitFailed);
inline int BadUsage(const std::string& message) { return Fail(message, kExitUsage); }
inline int NoFeature(const std::string& message) { return Fail(message, kExitNoFeature); }
// "unknown virtual board model 'M' (see 'halvexctl models')": exit code 2.
int UnknownModel(const std::string& model);

// Readings go to stdout as text lines or, with --json, as one JSON object
// per line (JSON Lines); keys keep the order they were set in.
using Json = nlohmann::ordered_json;

// printf into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Chosen once by main from --json.
void SetJsonOutput(bool on);
bool JsonOutput();
// One reading or event: `text` as it is, or `object` on one line; flushed at
// once, whole, also from the library's callback threads.
void Emit(const Json& object, const std::string& text);
// A line for a person watching (a banner): left out with --json.
void Note(const std::string& text);
// The banner of a watch: "watching <what>[ until interrupted]".
void NoteWatching(const std::string& what, bool ends);

// One reading built up as text lines and as the JSON object with the same
// facts, printed at once by Print.
struct Report {
    Json json = Json::object();
    std::string text;
    Json& operator[](const char* key) { return json[key]; }
    Report& Line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Print() const { Emit(json, text); }
};

// 0 when the library is loaded on a detected model that has `feature`;
// otherwise says what is missing ("Trelo-01 has no <what>") and returns 3
// (1 when hardware access is not open).
int Require(const Context& ctx, bool feature, const std::string& what);
// The same for a slot group of the model: its family must not be empty.
int RequireGroup(const Context& ctx, hx::service::Group group, const std::string& what);
// 0 with --virtual; otherwise says that the "board" commands act on the
// virtual board and returns 2.
int RequireVirtualBoard(const Context& ctx);

}  // namespace halvexctl
