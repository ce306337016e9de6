// libFuzzer target: both frame reassemblers of the receive threads take an
// arbitrary byte stream cut into arbitrary reads. The input alternates one
// byte that sets the length of the next read (at most what the reassembler
// asks for, 0 allowed) and the bytes of that read. Checked on every input
// (a failed check traps, and libFuzzer keeps the input):
// - the reassembler always asks for exactly the bytes that complete the frame;
// - each delivered frame is the stream's last `size` bytes and has a lead byte;
// - every frame that begins a read, is complete in the stream, has a good
//   checksum (MCU) and is not cut by a later read that opens with a lead byte,
//   is delivered exactly once.
#include <algorithm>
#include <cstring>
#include <vector>

#include "mcu/reassembly.h"

namespace {

using namespace hx;

void Require(bool ok) {
    if (!ok) __builtin_trap();
}

bool IsLead(const FrameFormat& f, u8 b) { return b == f.leads[0] || (f.leadCount > 1 && b == f.leads[1]); }

bool ChecksumGood(const FrameFormat& f, const u8* frame) {
    u8 sum = 0;
    for (u32 i = 0; i < kFrameChecksum; ++i) sum = static_cast<u8>(sum + frame[i]);
    return f.size != kFrameSize || sum == frame[kFrameChecksum];  // CAN frames carry none
}

void Check(const FrameFormat& f, const u8* data, size_t size) {
    static McuLink link;
    link.heldCount.store(0);
    std::vector<u8> stream;
    std::vector<size_t> readStarts, delivered;  // both ascending
    for (size_t at = 0; at < size;) {
        const u32 held = link.heldCount.load();
        const u32 want = FrameBytesWanted(link, f);
        Require(held < f.size && want == f.size - held);
        const size_t length = data[at++] % (want + 1);
        const size_t cut = std::min(length, size - at);
        if (cut) readStarts.push_back(stream.size());
        stream.insert(stream.end(), data + at, data + at + cut);
        u8 frame[kLinkFrameBufSize];
        if (TakeFrameBytes(link, f, data + at, static_cast<u32>(cut), frame)) {
            Require(stream.size() >= f.size && IsLead(f, frame[0]));
            Require(std::memcmp(frame, &stream[stream.size() - f.size], f.size) == 0);
            delivered.push_back(stream.size() - f.size);
        }
        at += cut;
    }
    for (size_t i = 0; i < readStarts.size(); ++i) {
        const size_t p = readStarts[i];
        if (!IsLead(f, stream[p]) || p + f.size > stream.size() || !ChecksumGood(f, &stream[p])) continue;
        bool cutOff = false;
        for (size_t j = i + 1; j < readStarts.size() && readStarts[j] < p + f.size; ++j) cutOff |= IsLead(f, stream[readStarts[j]]);
        const auto same = std::equal_range(delivered.begin(), delivered.end(), p);
        Require(cutOff || same.second - same.first == 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(kMcuFrameFormat, data, size);
    Check(kCanFrameFormat, data, size);
    return 0;
}
