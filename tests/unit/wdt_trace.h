// The board's access log read back as Super I/O and chipset operations, so
// that watchdog tests state register sequences the way a datasheet does.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "sim/board_state.h"

namespace hx::test {

inline std::string Hex(u32 value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

// The log as tokens: "key" for the four entry-key bytes on 2Eh, "w72=C0" for
// an index/data register write, "r27" for a register read, "idx87" for an
// index write with no data access after it; "in468"/"out468=0800" for other
// ports (digits by access size); "pin:ADDR"/"pout:ADDR=VALUE" for physical
// words. A failed access carries a trailing "!".
inline std::string Trace(const std::vector<sim::Access>& log) {
    constexpr u32 kIndex = 0x2E, kData = 0x2F;
    constexpr u32 kKey[] = {0x87, 0x01, 0x55, 0x55};
    auto isIndexWrite = [&](std::size_t i, u32 v) {
        return i < log.size() && log[i].kind == sim::AccessKind::PortWrite && log[i].address == kIndex &&
               log[i].value == v;
    };
    std::string out;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const sim::Access& a = log[i];
        std::string tok;
        if (a.kind == sim::AccessKind::PortWrite && a.address == kIndex) {
            if (isIndexWrite(i, kKey[0]) && isIndexWrite(i + 1, kKey[1]) && isIndexWrite(i + 2, kKey[2]) &&
                isIndexWrite(i + 3, kKey[3])) {
                tok = "key";
                i += 3;
            } else if (i + 1 < log.size() && log[i + 1].address == kData &&
                       log[i + 1].kind == sim::AccessKind::PortWrite) {
                tok = "w" + Hex(a.value, 2) + "=" + Hex(log[++i].value, 2);
            } else if (i + 1 < log.size() && log[i + 1].address == kData &&
                       log[i + 1].kind == sim::AccessKind::PortRead) {
                tok = "r" + Hex(a.value, 2);
                ++i;
            } else {
                tok = "idx" + Hex(a.value, 2);
            }
        } else if (a.kind == sim::AccessKind::PortRead) {
            tok = "in" + Hex(a.address, 3);
        } else if (a.kind == sim::AccessKind::PortWrite) {
            tok = "out" + Hex(a.address, 3) + "=" + Hex(a.value, 2 * a.size);
        } else if (a.kind == sim::AccessKind::PhysRead) {
            tok = "pin:" + Hex(a.address, 8);
        } else if (a.kind == sim::AccessKind::PhysWrite) {
            tok = "pout:" + Hex(a.address, 8) + "=" + Hex(a.value, 8);
        } else {
            continue;
        }
        if (!log[i].ok) tok += "!";
        out += (out.empty() ? "" : " ") + tok;
    }
    return out;
}

}  // namespace hx::test
