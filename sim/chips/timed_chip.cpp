#include "sim/chips/timed_chip.h"

namespace hx::sim {

bool ResetDomain::Add(TimedChip* chip) {
    if (!chip || count_ == kMaxChips) return false;
    chips_[count_++] = chip;
    return true;
}

u64 ResetDomain::NextStop(u64 nowMs, u64 toMs) const {
    u64 stop = toMs;
    for (std::size_t i = 0; i < count_; ++i) {
        const u64 wait = chips_[i]->MsToEvent();
        if (wait != kNoEvent && wait < stop - nowMs) stop = nowMs + wait;
    }
    return stop;
}

void ResetDomain::Advance(u64 fromMs, u64 toMs) {
    u64 now = fromMs;
    while (now < toMs) {
        const u64 stop = NextStop(now, toMs);
        for (std::size_t i = 0; i < count_; ++i) {
            const u32 resetsBefore = state_.reset.count;
            chips_[i]->Advance(now, stop);
            if (state_.reset.count == resetsBefore) continue;
            // Chips after this one see the reset before their own event.
            for (std::size_t j = 0; j < count_; ++j) chips_[j]->PowerOnReset();
        }
        now = stop;
    }
}

}  // namespace hx::sim
