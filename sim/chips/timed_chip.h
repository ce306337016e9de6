// Chips whose timers can reset the machine, and the domain that advances
// them together on the board clock: time moves from one chip event to the
// next, so the first expiry wins, and a machine reset returns every chip of
// the domain to its power-on state (as the reset line does on a real board).
#pragma once

#include <cstddef>

#include "sim/board.h"

namespace hx::sim {

inline constexpr u64 kNoEvent = ~u64{0};

class TimedChip : public ClockedDevice {
public:
    // Milliseconds from now to the chip's next event; kNoEvent when idle.
    virtual u64 MsToEvent() const = 0;
    virtual void PowerOnReset() = 0;

protected:
    ~TimedChip() = default;
};

class ResetDomain final : public ClockedDevice {
public:
    explicit ResetDomain(BoardState& state) : state_(state) {}

    void Clear() { count_ = 0; }
    bool Add(TimedChip* chip);
    void Advance(u64 fromMs, u64 toMs) override;

private:
    static constexpr std::size_t kMaxChips = 4;
    u64 NextStop(u64 nowMs, u64 toMs) const;

    BoardState& state_;
    TimedChip* chips_[kMaxChips]{};
    std::size_t count_ = 0;
};

}  // namespace hx::sim
