// Each command family registers its subcommands here.
#pragma once

#include <CLI/CLI.hpp>

#include "halvex32.h"
#include "tools/halvexctl/context.h"

namespace halvexctl {

// A subcommand sets `command`; main loads the library when the command
// needs it, runs it, and unloads.
void AddInfoCommand(CLI::App& app, Command& command);
// "models": the virtual board models.
void AddModelsCommand(CLI::App& app, Command& command);
void AddWdtCommand(CLI::App& app, Command& command);
void AddMcuCommand(CLI::App& app, Command& command);
// "di" and "do"; "board" (the virtual board's field side).
void AddDioCommand(CLI::App& app, Command& command);
void AddBoardCommand(CLI::App& app, Command& command);
// The "board" subcommand, once AddBoardCommand has run: a feature adds the
// drivers of its part of the virtual world to it ("board ign", ...).
inline CLI::App& BoardSubcommand(CLI::App& app) { return *app.get_subcommand("board"); }
// "board reset" and "board destroy": the shared virtual machine as a whole.
void AddMachineCommand(CLI::App& app, Command& command);
void AddPoeCommand(CLI::App& app, Command& command);
void AddDt2Command(CLI::App& app, Command& command);
void AddCanCommand(CLI::App& app, Command& command);
// "qei"; and "board shaft" on the board subcommand.
void AddQeiCommand(CLI::App& app, Command& command);
// "adc" (and "board adc"), "led".
void AddAdcCommand(CLI::App& app, Command& command);
void AddLedCommand(CLI::App& app, Command& command);
void AddPwmCommand(CLI::App& app, Command& command);
// "dtio" and "dtfo": the trigger I/O blocks.
void AddTriggerCommand(CLI::App& app, Command& command);
// "ign"; "board ign" and "board battery".
void AddIgnCommand(CLI::App& app, Command& command);
// "mcu watch", added by AddMcuCommand to its "mcu" subcommand.
void AddMcuWatchCommand(CLI::App& mcu, Command& command);
// "dicos watch"; and "di monitor" by the same events on the models with DICOS.
void AddDicosCommand(CLI::App& app, Command& command);
int MonitorInputsByEvents(Context& ctx, std::optional<Ms> limit, bool demo);
// Input lines as "di monitor" and "dicos watch" print them: the lines at the
// start ("<seconds> initial 0=1 1=0 ..."), then one change per line
// ("<seconds> rising|falling LINE", rising = the input became active).
void EmitInitialLines(uint32_t bits, uint32_t lines);
void EmitEdge(double seconds, uint32_t line, bool rising);
// Lines and their levels as text, "0=1 1=0", and as JSON,
// [{"line": 0, "<key>": true}, {"line": 1, "<key>": false}].
struct Lines {
    explicit Lines(const char* levelKey) : key(levelKey) {}
    const char* key;  // "active" for inputs, "on" for outputs
    std::string text;
    Json json = Json::array();
    void Add(uint32_t line, bool level);
};
// Lines 0..count-1, line n from bit n of `bits`.
Lines PortLines(uint32_t bits, uint32_t count, const char* key);
// A PWM status event, for "mcu watch" and the pwm commands.
void HX_CALLBACK EmitPwmStatus(uint32_t generator, uint32_t status);

}  // namespace halvexctl
