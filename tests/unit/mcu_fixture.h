// Test fixture: the library core on a virtual board whose MCU firmware and
// CAN controller run on pseudo-terminals, with helpers to read what the
// firmware received and to arm transport faults.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "mcu/frame.h"
#include "mcu/link.h"
#include "sim/board_links.h"
#include "sim/firmware/mcu_firmware.h"
#include "sim/posix/link_host.h"
#include "tests/unit/virtual_fixture.h"

namespace hx::test {

using Frame7 = std::array<u8, kFrameSize>;

inline Frame7 MakeFrame(u8 code, u32 word) {
    Frame7 f{};
    BuildFrame(code, word, f.data());
    return f;
}

class McuLinkTest : public VirtualBoardTest {
protected:
    // Trelo-11: MCU link at the UART at 2E8h, CAN link on the FTDI device.
    void LoadWithLinks(const char* model = "Trelo-11") {
        LoadModel(model);
        ASSERT_TRUE(sim::StartBoardLinks());
    }
    void LoadAndOpen(const char* model = "Trelo-11") {
        LoadWithLinks(model);
        ASSERT_TRUE(OpenMcuLink(serialPortMcu));
    }
    template <typename Fn>
    static void Edit(Fn&& fn) {
        sim::EditLinks(fn);
    }
    // Arms the faults of the MCU link: `set` fills a cleared fault state.
    template <typename Set>
    static void Arm(Set&& set) {
        sim::LinkFaultState faults{};
        set(faults);
        Edit([&](sim::SerialLinkState& s) { s.faults[static_cast<u32>(sim::LinkRole::Mcu)] = faults; });
    }
    static u32 FramesReceived() {
        u32 n = 0;
        Edit([&](sim::SerialLinkState& s) { n = s.mcu.framesReceived; });
        return n;
    }
    // The frames the firmware received from number `from` on.
    static std::vector<Frame7> FramesSince(u32 from) {
        std::vector<Frame7> out;
        Edit([&](sim::SerialLinkState& s) {
            for (u32 i = from; i < s.mcu.framesReceived; ++i) {
                const sim::ReceivedFrame* r = sim::ReceivedAt(s.mcu, i);
                Frame7 f{};
                if (r) std::copy(r->bytes, r->bytes + kFrameSize, f.begin());
                out.push_back(f);
            }
        });
        return out;
    }
    // Waits until the firmware has taken `count` frames in all (posts are
    // not answered, so nothing else tells when they arrived).
    static bool WaitForFrames(u32 count) {
        return WaitUntil([&](const sim::SerialLinkState& s) { return s.mcu.framesReceived >= count; });
    }
    template <typename Pred>
    static bool WaitUntil(Pred pred) {
        for (int i = 0; i < 2000; ++i) {
            bool done = false;
            Edit([&](sim::SerialLinkState& s) { done = pred(s); });
            if (done) return true;
            usleep(1000);
        }
        return false;
    }
    static void Inject(const Frame7& bytes) {
        ASSERT_TRUE(sim::SendLinkBytes(sim::LinkRole::Mcu, bytes.data(), kFrameSize));
    }
    // Reads exactly `count` bytes from a link, or fewer on a time-out.
    static u32 ReadAll(McuLink& link, u8* out, u32 count, u32 timeoutMs = kAnswerTimeoutMs) {
        u32 total = 0;
        while (total < count) {
            u32 got = 0;
            if (!LinkRead(link, out + total, count - total, &got, timeoutMs)) break;
            total += got;
        }
        return total;
    }
};

}  // namespace hx::test
