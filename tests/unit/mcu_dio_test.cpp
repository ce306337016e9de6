// MCU-carried DI/DO (D7, D8, D12) through the exports on the virtual board:
// the frames the firmware received, what the calls returned, the port kind
// the link keeps and whether it stays open. InitDIO probes the version (FFh)
// and keeps the link only when the MCU answered; D8 tries the MCU's USB port
// first, keeps the kind that answered, and probes no more once initialised.
// StopDIO closes the link.
#include "core/port_kind.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {

struct McuDioCase { const char* model; bool uart, usb, silent; u16 active; u32 (*op)(); u32 result, kind; bool open; std::vector<Frame7> sent; };
// model, ports present (UART, USB), MCU silent, inputs active, the calls, their result, the port kind
// kept, the link left open, the frames the MCU received.
const McuDioCase kMcuDioCases[] = {
    {"Trelo-11", 1, 1, 0, 0, [] { return DOWriteLine(3, 1), 0u; }, 0, kPortUart2E8, 1, {MakeFrame(0x37, 0x00080008)}},
    {"Qantis-02", 1, 1, 0, 0, [] { return DOWriteLine(3, 0), 0u; }, 0, kPortUart2E8, 1, {MakeFrame(0x37, 0x00080000)}},
    {"Vexa-04", 1, 1, 0, 0, [] { return DOWritePort(0x1234), 0u; }, 0, kPortUart368, 1, {MakeFrame(0x37, 0xFFFF1234)}},
    {"Trelo-11", 1, 1, 0, 0x0004, [] { return DIReadLine(2); }, 1, kPortUart2E8, 1, {MakeFrame(0x35, 0x00040000)}},
    {"Qantis-02", 1, 1, 0, 0xFFFB, [] { return DIReadLine(2); }, 0, kPortUart2E8, 1, {MakeFrame(0x35, 0x00040000)}},
    {"Vexa-04", 1, 1, 0, 0xFF0F, [] { const u32 v = DIReadPort(); return StopDIO(), v; }, 0xFF0F, kPortUart368, 0, {MakeFrame(0x35, 0xFFFF0000)}},
    {"Trelo-11", 1, 1, 1, 0, [] { return u32{DIReadPort()}; }, 0xFFFF, kPortUart2E8, 1, {MakeFrame(0x35, 0xFFFF0000)}},
    {"Qantis-02", 1, 1, 1, 0, [] { return DIReadLine(5); }, 1, kPortUart2E8, 1, {MakeFrame(0x35, 0x00200000)}},
    {"Vexa-04", 1, 1, 0, 0xFFFF, [] { return DOWriteLine(16, 1), DIReadLine(16); }, 0, kPortUart368, 0, {}},
    {"Trelo-11", 1, 1, 1, 0, [] { return u32(InitDIO()); }, 0, kPortUart2E8, 0, {MakeFrame(0xFF, 0)}},
    {"Vexa-04", 0, 1, 0, 0, [] { return u32(InitDIO()); }, 0, kPortUart368, 0, {}},
    {"Vexa-04", 1, 1, 0, 0, [] { return u32(InitDIO()); }, 1, kPortUart368, 1, {MakeFrame(0xFF, 0)}},
    {"Qantis-02", 1, 1, 0, 0, [] { return InitDIO(), u32(InitDIO()); }, 1, kPortUsbCdc1CBE, 1, {MakeFrame(0xFF, 0)}},
    {"Qantis-02", 0, 1, 0, 0, [] { return u32(InitDIO()); }, 1, kPortUsbCdc1CBE, 1, {MakeFrame(0xFF, 0)}},
    {"Qantis-02", 1, 0, 0, 0, [] { return u32(InitDIO()); }, 1, kPortUart2E8, 1, {MakeFrame(0xFF, 0)}},
    {"Qantis-02", 1, 1, 1, 0, [] { return u32(InitDIO()); }, 1, kPortUart2E8, 1, {MakeFrame(0xFF, 0), MakeFrame(0xFF, 0)}},
    {"Qantis-02", 0, 0, 0, 0, [] { return u32(InitDIO()); }, 0, kPortUart2E8, 0, {}},
};

TEST_F(McuLinkTest, McuDioSendsItsWordsAndReturnsTheLinesOnEveryFamily) {
    for (const McuDioCase& c : kMcuDioCases) {
        LoadWithLinks(c.model);
        sim::SetMcuPortPresent(sim::McuPort::Uart, c.uart), sim::SetMcuPortPresent(sim::McuPort::Usb, c.usb);
        Edit([&](sim::SerialLinkState& s) { s.mcu.diActive = c.active, s.faults[0].dropAnswers = c.silent; });
        EXPECT_EQ(c.op(), c.result) << &c - kMcuDioCases;
        EXPECT_EQ(FramesSince(0), c.sent) << &c - kMcuDioCases;
        EXPECT_EQ(std::pair(serialPortMcu.portKind.load(), os::HandleIsOpen(serialPortMcu.comHandle.load())), std::pair(c.kind, c.open)) << &c - kMcuDioCases;
        Unload(), sim::StopBoardLinks();
    }
}

}  // namespace hx::test
