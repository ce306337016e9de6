// The virtual board as one machine for every process that runs on it. Its
// state lives in an owner-only System V segment, attached over this
// process's board image (sim/virtual_board.h) so that every chip object's
// reference into the state reaches the shared one. The segment's key comes
// from the name of the POSIX shared-memory object of the machine,
// "/halvex32-vm-<model>-<board>.board" (owner-only, under /dev/shm), which
// is only the rendezvous: its flock makes creating and joining one at a
// time, and it exists while the machine does. A segment cannot be cut short,
// so a process that truncates or overwrites that object takes nothing from
// anybody (no SIGBUS); the machine lasts until it is destroyed (its segment
// is marked for removal; processes on it keep it until they leave).
// The image's first page is the header: a magic word written once the board
// is powered on, the sizes of the writer's image, the machine's lock, its
// clock and the process that runs its links.
//
// The first process to come creates the object and powers the board on;
// later ones attach their own chip objects to the state as they find it.
// Creating and joining are one at a time (flock on the object); a process
// that dies half-way leaves no magic, and a segment of another layout (an
// older build) is replaced by a fresh machine.
//
// The lock is a robust, process-shared, recursive mutex: while a process is
// on a machine, the links' lock (sim/board_links.h) is this mutex, and every
// board access holds it. A process killed while holding it hands it to the
// next with EOWNERDEAD; the state is taken as it is.
//
// The board clock follows real time: each outermost hold of the lock first
// runs the clock forward by the CLOCK_MONOTONIC time since the last, so a
// watchdog nobody kicks expires whoever looks next; explicit advances add
// to it. A machine created with HALVEX_VIRTUAL_CLOCK=manual moves its clock
// only by explicit advances (scripts that want exact board times).
#pragma once

#include <cstddef>

#include "sim/models.h"

namespace hx::sim {

inline constexpr char kBoardNameVariable[] = "HALVEX_VIRTUAL_BOARD";
inline constexpr char kDefaultBoardName[] = "default";
inline constexpr char kClockVariable[] = "HALVEX_VIRTUAL_CLOCK";
inline constexpr char kManualClock[] = "manual";

// HALVEX_VIRTUAL_BOARD, or "default" when it is unset or empty.
const char* SharedBoardName();

// The shared-memory object of the machine of `model` and `board`; false
// when the name does not fit.
bool SharedMachineObject(const char* model, const char* board, char* out, std::size_t capacity);

enum class MachineJoin {
    Created,  // this process powered the board on
    Joined,   // the board was there; this process attached its chips to it
    Absent,   // no such machine, and `create` was false
    Failed,   // the object could not be opened or mapped; nothing changed
};

// Puts this process on the machine of `model` and `board` (leaving any other
// first); creates and powers it on when absent, if `create`. A private
// board's links are stopped first; this process's access starts closed.
MachineJoin JoinSharedMachine(const BoardModel& model, const char* board, bool create = true);
// Stops the links this process runs for the machine and goes back to a
// private, zeroed board image. Nothing when not on a machine.
void LeaveSharedMachine();
bool OnSharedMachine();
bool OnSharedMachine(const BoardModel& model, const char* board);
// The machine this process is on returns to its power-on state in place
// (chips, firmware, clock, log): every process on it sees it at once. The
// links stay where they run; the firmware behind them restarts.
bool ResetSharedMachine();
// Removes the machine's objects (the state, the shared words, the MCU
// sharing channel): the next process creates it afresh. Processes still on
// it keep the old one to themselves. False when there was no state object.
bool DestroySharedMachine(const char* model, const char* board);

// The machine's lock, for the links' lock while on a machine.
void LockMachine();
void UnlockMachine();

// Whether the clock of the machine this process is on follows real time.
bool MachineClockFollowsRealTime();

// The process that runs the machine's links. With the lock held.
bool LinksHostedElsewhere();  // another process runs them and is alive
void SetLinksHostedHere(bool here);

}  // namespace hx::sim
