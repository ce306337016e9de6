// What every halvexctl command works on: the library loaded in this process,
// on the real hardware or on the virtual board.
#pragma once

#include <string>

namespace halvexctl {

struct Context {
    bool virtualBoard = false;
    std::string model;   // virtual board model
    bool loaded = false; // load sequence succeeded (hardware access open)
};

// Loads the library core on the chosen back-end. Returns false (after one
// line on stderr) when the virtual model is unknown.
bool Attach(Context& ctx);
void Detach(Context& ctx);

// Prints "halvexctl: <message>" on stderr and returns the exit code 1.
int Fail(const std::string& message);

}  // namespace halvexctl
