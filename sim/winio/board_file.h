// The file that holds the simulated WinIo's board: a BoardState behind a
// small header, mapped by the simulated WinIo DLL under Wine and by the
// Linux-side test driver at the same time (Wine maps files with shared
// mmap, so both see every write at once).
#pragma once

#include "core/types.h"
#include "sim/board_state.h"

namespace hx::sim {

// Environment variable naming the board file for the simulated WinIo DLL; a
// path starting with '/' is a Linux path, reached through Wine's Z: drive.
inline constexpr char kBoardFileVariable[] = "HALVEX_WINIO_BOARD";

inline constexpr u32 kBoardFileMagic = 0x42585648;  // "HVXB"

struct BoardFile {
    u32 magic;
    u32 stateSize;  // sizeof(BoardState) of the writer: both sides must agree
    BoardState state;
};

inline bool BoardFileValid(const BoardFile& f) {
    return f.magic == kBoardFileMagic && f.stateSize == sizeof(BoardState);
}

}  // namespace hx::sim
