// Test fixture: the library core on a virtual board whose MCU firmware and
// CAN controller run on pseudo-terminals, with helpers to read what the
// firmware received and to arm transport faults.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>
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

// The short form of a command: 23h, code, 00h, 23h + code, 00h, 00h, 00h.
inline Frame7 ShortFrame(u8 code) { return {kLeadRequest, code, 0, static_cast<u8>(kLeadRequest + code), 0, 0, 0}; }

// True when the firmware answers the version query with its version.
inline bool VersionAnswered() {
    u32 version = 0;
    return McuQuery(0xFF, &version) && version == sim::kFirmwareVersion;
}

// How often the library looked for a link's port.
inline u32 LinkLookups() {
    u32 n = 0;
    sim::EditLinks([&](sim::SerialLinkState& s) { n = s.paths.lookups; });
    return n;
}

// A CAN load burst as the callback takes it (the sequence number of a frame
// in data bytes 0..3): the number due next, the frames lost and reordered.
inline std::atomic<u32> g_next{0}, g_lost{0}, g_reordered{0};
inline void HX_CALLBACK CountLoad(CanMessage* m, u32) {
    const u32 sequence = u32{m->data[0]} | u32{m->data[1]} << 8 | u32{m->data[2]} << 16 | u32{m->data[3]} << 24;
    sequence < g_next ? ++g_reordered : (g_lost += sequence - g_next, g_next = sequence + 1);
}

// What callbacks recorded, read by the test thread.
template <typename T>
class Recorded {
public:
    void Add(const T& record) {
        std::lock_guard<std::mutex> hold(lock_);
        records_.push_back(record);
    }
    // The records so far; `forget`: and start afresh.
    std::vector<T> Get(bool forget = false) {
        std::lock_guard<std::mutex> hold(lock_);
        return forget ? std::exchange(records_, {}) : records_;
    }
    // The records once there are `n` of them, or after 5 s.
    std::vector<T> Wait(std::size_t n, bool forget = false) {
        for (int ms = 0; ms < 5000 && Get().size() < n; ++ms) usleep(1000);
        return Get(forget);
    }

private:
    std::mutex lock_;
    std::vector<T> records_;
};

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
    // Loads `model` afresh, after unloading the board before.
    void Reload(const char* model, bool links = true) {
        Unload();
        links ? LoadWithLinks(model) : LoadModel(model);
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
    // The frames the firmware took from `from` on, once an answered query
    // behind them shows that the posts before it have arrived.
    static std::vector<Frame7> FramesUpToNow(u32 from) {
        EXPECT_TRUE(VersionAnswered());
        auto frames = FramesSince(from);
        frames.pop_back();
        return frames;
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
