// libFuzzer target: the 3-byte DI messages of the C2 boards (lead, value,
// sum), cut out of a byte stream read piece by piece as the receive thread
// reads it, then classified. The input builds the stream the MCU sends: units
// of three bytes that begin with a lead byte (23h answer, 40h DI change) and
// carry a good or a bad sum, optionally with stray bytes between them; the
// rest of the input cuts the stream into reads of at most the size asked.
// Checked on every input (a failed check traps, libFuzzer keeps the input):
// - each read asks for exactly what completes the message held;
// - every message handed on has a good sum and the kind of its lead byte;
// - without stray bytes, and with no lead value inside a unit (which starts a
//   new message when a read begins with it), exactly the good units come out,
//   in order, each once, whatever the cuts: none is lost, split or invented.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "mcu/reassembly.h"

namespace {

using namespace hx;

void Require(bool ok) {
    if (!ok) __builtin_trap();
}

struct Unit {
    u8 lead, value;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<u8> stream;
    std::vector<Unit> good;  // the units with a good sum, in order
    bool stray = false;
    const size_t units = in.ConsumeIntegralInRange<size_t>(0, 64);
    for (size_t i = 0; i < units && in.remaining_bytes(); ++i) {
        const u8 shape = in.ConsumeIntegral<u8>();
        if (shape & 0x80) {  // a stray byte: line noise or a lost byte's neighbour
            stream.push_back(in.ConsumeIntegral<u8>());
            stray = true;
            continue;
        }
        const u8 lead = shape & 1 ? kLeadEvent : kLeadRequest;
        const u8 value = in.ConsumeIntegral<u8>();
        const u8 sum = static_cast<u8>(lead + value);
        const bool bad = shape & 2;
        stream.insert(stream.end(), {lead, value, static_cast<u8>(bad ? sum ^ (shape | 1) : sum)});
        if (!bad) good.push_back({lead, value});
        for (const u8 inner : {value, sum}) stray |= inner == kLeadRequest || inner == kLeadEvent;
    }
    static McuLink link;
    link.heldCount.store(0);
    std::vector<Unit> out;
    for (size_t at = 0; at < stream.size();) {
        const u32 want = FrameBytesWanted(link, kDiMessageFormat);
        Require(want >= 1 && want <= kDiMessageSize && want == kDiMessageSize - link.heldCount.load());
        const size_t length = in.remaining_bytes() ? in.ConsumeIntegralInRange<u32>(0, want) : want;
        const u32 cut = static_cast<u32>(std::min(length, stream.size() - at));
        u8 message[kLinkFrameBufSize] = {};
        if (TakeFrameBytes(link, kDiMessageFormat, stream.data() + at, cut, message)) {
            const bool sumGood = static_cast<u8>(message[0] + message[1]) == message[2];
            const DiMessageKind kind = ClassifyDiMessage(message);
            Require(message[0] == kLeadRequest || message[0] == kLeadEvent);
            Require(sumGood ? kind == (message[0] == kLeadEvent ? DiMessageKind::DiChange : DiMessageKind::Answer)
                            : kind == DiMessageKind::Dropped);
            if (kind != DiMessageKind::Dropped) out.push_back({message[0], message[1]});
        }
        at += cut;
    }
    if (stray) return 0;
    Require(out.size() == good.size());
    for (size_t i = 0; i < out.size(); ++i) Require(out[i].lead == good[i].lead && out[i].value == good[i].value);
    return 0;
}
