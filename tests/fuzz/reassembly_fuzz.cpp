// libFuzzer target: both frame reassemblers of the receive threads take an
// arbitrary byte stream cut into arbitrary reads. The input alternates one
// byte that sets the length of the next read (at most what the reassembler
// asks for, 0 allowed) and the bytes of that read. Checked on every input:
// - the reassembler always asks for exactly the bytes that complete the frame;
// - each delivered frame is the stream's last `size` bytes and has a lead byte;
// - every frame that begins a read, is complete in the stream, has a good
//   checksum (MCU) and is not cut by a later read that opens with a lead byte,
//   is delivered exactly once.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mcu/reassembly.h"

namespace {

using namespace hx;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "reassembly: %s\n", what);
    std::abort();
}

bool IsLead(const FrameFormat& f, u8 b) { return b == f.leads[0] || (f.leadCount > 1 && b == f.leads[1]); }

bool Valid(const FrameFormat& f, const u8* frame) {
    if (f.size != kFrameSize) return true;  // CAN frames carry no checksum
    u8 sum = 0;
    for (u32 i = 0; i < kFrameChecksum; ++i) sum = static_cast<u8>(sum + frame[i]);
    return sum == frame[kFrameChecksum];
}

void Check(const FrameFormat& f, const u8* data, size_t size) {
    static McuLink link;
    link.heldCount.store(0);
    std::vector<u8> stream;
    std::vector<size_t> readStarts, delivered;
    for (size_t at = 0; at < size;) {
        const u32 held = link.heldCount.load();
        const u32 want = FrameBytesWanted(link, f);
        Require(held < f.size && want == f.size - held, "asked beyond the frame");
        size_t cut = data[at++] % (want + 1);
        cut = cut < size - at ? cut : size - at;
        if (cut) readStarts.push_back(stream.size());
        stream.insert(stream.end(), data + at, data + at + cut);
        u8 frame[kLinkFrameBufSize];
        if (TakeFrameBytes(link, f, data + at, static_cast<u32>(cut), frame)) {
            Require(stream.size() >= f.size, "frame longer than the stream");
            const size_t begin = stream.size() - f.size;
            Require(std::memcmp(frame, &stream[begin], f.size) == 0 && IsLead(f, frame[0]), "frame not from the stream");
            delivered.push_back(begin);
        }
        at += cut;
    }
    for (size_t i = 0; i < readStarts.size(); ++i) {
        const size_t p = readStarts[i];
        if (!IsLead(f, stream[p]) || p + f.size > stream.size() || !Valid(f, &stream[p])) continue;
        bool cutOff = false;
        for (size_t j = i + 1; j < readStarts.size() && readStarts[j] < p + f.size; ++j) cutOff |= IsLead(f, stream[readStarts[j]]);
        const auto same = std::equal_range(delivered.begin(), delivered.end(), p);  // ascending
        const auto times = same.second - same.first;
        Require(cutOff || times == 1, "frame opening a read not delivered exactly once");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(kMcuFrameFormat, data, size);
    Check(kCanFrameFormat, data, size);
    return 0;
}
