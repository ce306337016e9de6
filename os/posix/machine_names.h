#pragma once

#include <cstddef>

namespace hx::os {

// A process whose hardware is its own (a virtual board set up in-process)
// is a machine of its own: it names its shared words and its MCU sharing
// channel after its process ID, so that processes on other virtual boards
// never take its words or its link for theirs. Remove them at unload; a
// killed process leaves two small objects in /dev/shm.
void UseMachinePrivateNames();
void RemoveMachinePrivateNames();

// A virtual machine that processes share is named by its model and board:
// its objects are "/halvex32-vm-<model>-<board><suffix>", every character
// outside [A-Za-z0-9._-] of either part written as '_', the board cut to
// kMachineBoardMax characters. False when the name does not fit `capacity`.
inline constexpr std::size_t kMachineBoardMax = 64;
bool MachineObjectName(const char* model, const char* board, const char* suffix, char* out, std::size_t capacity);

// The shared words and the MCU sharing channel of the shared machine of
// `model` and `board`: every process on it uses them, as the processes of
// one computer do. Remove them when the machine is destroyed.
void UseMachineNames(const char* model, const char* board);
void RemoveMachineNames(const char* model, const char* board);

}  // namespace hx::os
