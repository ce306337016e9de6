// MCU-carried DI/DO (D7, D8, D12) through the exports on the virtual board:
// the frames the firmware received and what the calls returned.
#include <sys/mman.h>

#include "core/port_kind.h"
#include "core/state.h"
#include "halvex32.h"
#include "os/posix/named_objects_posix.h"
#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

Frame7 Read(u32 word) { return MakeFrame(0x35, word); }
Frame7 Write(u32 word) { return MakeFrame(0x37, word); }
const Frame7 kProbe = MakeFrame(0xFF, 0);

u32 OutputsOn() {
    u32 on = 0;
    sim::EditLinks([&](sim::SerialLinkState& s) { on = s.mcu.doOn; });
    return on;
}

class McuDio : public McuLinkTest {
protected:
    void SetUp() override {
        McuLinkTest::SetUp();
        os::SetSharedLinkName(link_.c_str());  // this test's own sharing channel
    }
    void TearDown() override {
        McuLinkTest::TearDown();
        shm_unlink(link_.c_str());
    }
    std::string link_ = PrivateSharedName("-link");
};

struct Case {
    const char* what;
    u16 active;  // input lines active at the connector
    bool silent;  // the MCU does not answer
    u32 (*op)();
    std::vector<Frame7> sent;
    u32 result;  // the input result, or the outputs on after a write
};

const Case kCases[] = {
    {"line 3 on", 0, false, [] { return DOWriteLine(3, 1), OutputsOn(); }, {Write(0x00080008)}, 0x0008},
    {"line 3 off", 0, false, [] { return DOWritePort(0xFFFF), DOWriteLine(3, 0), OutputsOn(); },
     {Write(0xFFFFFFFF), Write(0x00080000)}, 0xFFF7},
    {"port 1234h", 0, false, [] { return DOWritePort(0x1234), OutputsOn(); }, {Write(0xFFFF1234)}, 0x1234},
    {"line 2 active", 0x0004, false, [] { return DIReadLine(2); }, {Read(0x00040000)}, 1},
    {"line 2 idle", 0xFFFB, false, [] { return DIReadLine(2); }, {Read(0x00040000)}, 0},
    {"port", 0xFF0F, false, [] { return u32{DIReadPort()}; }, {Read(0xFFFF0000)}, 0xFF0F},
    {"port, silent MCU", 0, true, [] { return u32{DIReadPort()}; }, {Read(0xFFFF0000)}, 0xFFFF},
    {"line 5, silent MCU", 0, true, [] { return DIReadLine(5); }, {Read(0x00200000)}, 1},
    {"line 16", 0xFFFF, false, [] { return DOWriteLine(16, 1), DIReadLine(16); }, {}, 0},
};

TEST_F(McuDio, LineAndPortOperationsSendTheirWordsOnEveryFamily) {
    for (const char* model : {"Trelo-11", "Qantis-02", "Vexa-04"}) {
        LoadWithLinks(model);
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(model) + ": " + c.what);
            Edit([&](sim::SerialLinkState& s) { s.mcu.diActive = c.active; });
            Arm([&](sim::LinkFaultState& f) { f.dropAnswers = c.silent; });
            const u32 from = FramesReceived();
            EXPECT_EQ(c.op(), c.result);
            EXPECT_EQ(FramesSince(from), c.sent);
        }
        TearDown();
        SetUp();
    }
}

// D7 and D12: a probe that is not answered, or a port that is not there,
// fails and leaves the link closed; an answered probe sets the shared flag.
TEST_F(McuDio, InitDioProbesTheVersionAndClosesTheLinkOnFailure) {
    for (const char* model : {"Trelo-11", "Vexa-04"}) {
        SCOPED_TRACE(model);
        LoadWithLinks(model);
        Arm([](sim::LinkFaultState& f) { f.dropAnswers = 1; });
        EXPECT_EQ(InitDIO(), kFalse);
        EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
        sim::SetMcuPortPresent(sim::McuPort::Uart, false);
        EXPECT_EQ(InitDIO(), kFalse);
        sim::SetMcuPortPresent(sim::McuPort::Uart, true);
        EXPECT_EQ(InitDIO(), kTrue);
        EXPECT_EQ(Shared().dioSharedFlag.load(), 1u);
        EXPECT_EQ(FramesSince(0), (std::vector<Frame7>{kProbe, kProbe}));
        EXPECT_EQ(StopDIO(), kTrue);
        EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
        TearDown();
        SetUp();
    }
}

// D8 tries the MCU's USB port first and keeps the port kind that answered.
struct PortCase { bool uart, usb; Bool32 result; u32 kind; };
std::ostream& operator<<(std::ostream& o, const PortCase& c) { return o << "uart " << c.uart << " usb " << c.usb; }
class McuDioD8 : public McuDio, public ::testing::WithParamInterface<PortCase> {};

TEST_P(McuDioD8, InitDioKeepsThePortThatAnswered) {
    const PortCase c = GetParam();
    LoadWithLinks("Qantis-02");
    sim::SetMcuPortPresent(sim::McuPort::Uart, c.uart);
    sim::SetMcuPortPresent(sim::McuPort::Usb, c.usb);
    EXPECT_EQ(InitDIO(), c.result);
    EXPECT_EQ(InitDIO(), c.result) << "a second call sends nothing once initialised";
    EXPECT_EQ(serialPortMcu.portKind.load(), c.kind);
    EXPECT_EQ(FramesSince(0), std::vector<Frame7>(c.result, kProbe));
}

INSTANTIATE_TEST_SUITE_P(Ports, McuDioD8,
                         ::testing::Values(PortCase{true, true, kTrue, kPortUsbCdc1CBE},
                                           PortCase{false, true, kTrue, kPortUsbCdc1CBE},
                                           PortCase{true, false, kTrue, kPortUart2E8},
                                           PortCase{false, false, kFalse, kPortUart2E8}));

}  // namespace
}  // namespace hx::test
