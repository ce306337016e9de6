// The SMBus host access on the virtual board: the finders of both variants,
// the exact poll-and-clear sequences, the faults (a failed transaction ends
// cleanly with the library lock free), and no host at all.
#include <thread>

#include "os/os.h"
#include "poe_test_util.h"

namespace hx::test {
namespace {

constexpr u32 kPolls = 100;

// Another thread can take the library lock (it hangs the test otherwise).
void ExpectLockFree() {
    std::thread([] {
        os::LibraryLockEnter();
        os::LibraryLockLeave();
    }).join();
}

u32 CountReads(u32 port) {
    u32 n = 0;
    for (const sim::Access& a : Log()) n += a.kind == sim::AccessKind::PortRead && a.address == port;
    return n;
}

bool TouchedPortsBelow(u32 limit) {
    for (const sim::Access& a : Log()) {
        if ((a.kind == sim::AccessKind::PortRead || a.kind == sim::AccessKind::PortWrite) && a.address < limit) return true;
    }
    return false;
}

// The PCI host at function 3 (I/O base register F001h), then one read.
TEST_F(PoeTest, PciHostFoundByClassAndOneReadPolledAndCleared) {
    LoadModel("Trelo-11");
    SetRegister(0x20, 0x12, 0x03);
    EXPECT_EQ(GetStatusPoEPort(1), 1);
    EXPECT_EQ(Trace(Log()),
              "outCF8=8000F808 inCFC outCF8=8000F908 inCFC outCF8=8000FA08 inCFC outCF8=8000FB08 inCFC "
              "outCF8=8000FB20 inCFC inF000 outF000=80 inF000 outF004=41 outF003=12 outF002=48 inF000 inF000 inF005");
    sim::ClearAccessLog(Board());
    EXPECT_EQ(GetStatusPoEPort(1), 1);
    EXPECT_EQ(Trace(Log()), "inF000 outF000=82 inF000 outF004=41 outF003=12 outF002=48 inF000 inF000 inF005")
        << "no second search; the last transaction's byte done and interrupt cleared";
}

// The PM host: base B00h from PM register 01h, never a PCI configuration cycle.
TEST_F(PoeTest, PmHostFoundThroughCd6AndOneWritePrepared) {
    LoadModel("Vexa-06");
    EXPECT_EQ(DisablePoEPort(1), 1);
    EXPECT_EQ(Trace(Log()),
              "outCD6=01 inCD7 inB01 outB01=1C outB00=1E inB01 outB04=41 outB03=12 outB02=48 inB00 inB00 inB05 "
              "inB01 outB01=1C outB00=1E inB01 outB04=41 outB03=14 outB02=48 inB00 inB00 inB05 "
              "inB01 outB01=1C outB00=1E inB01 outB04=40 outB03=12 outB05=00 outB02=48 inB00 inB00");
    EXPECT_EQ(Transfers(), "41:12>00 41:14>00 40:12=00");
}

struct FaultCase {
    const char* model;
    bool stuckBusy, stuckByteDone, nak;
    u8 status;           // what GetStatusPoEPort(1) returns with the channel on
    u32 statusReads;     // of the host status (base + 0): PCI clear, byte-done and busy polls; PM busy polls
    const char* transfers;
};

// clang-format off
const FaultCase kFaults[] = {
    // model       busy   done   NAK    status reads  transfers
    {"Trelo-11",   true,  false, false, 0, 2 + kPolls, ""},
    {"Trelo-11",   false, true,  false, 0, kPolls + 1, ""},
    {"Trelo-11",   false, false, true,  0, 4,          "41:12>00!"},
    {"Vexa-06",    true,  false, false, 0, kPolls,     ""},
    {"Vexa-06",    false, true,  false, 1, 2,          "41:12>03"},  // the PM preparation ignores byte done
    {"Vexa-06",    false, false, true,  0, 2,          "41:12>00!"},
};
// clang-format on

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.model << (c.stuckBusy ? " stuck busy" : c.stuckByteDone ? " stuck byte done" : " NAK");
}

class PoeFaultTest : public PoeTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PoeFaultTest, ReadFailsCleanlyWithTheLockFree) {
    const FaultCase& c = GetParam();
    LoadModel(c.model);
    GetStatusPoEPort(2);  // finds the host
    SetRegister(0x20, 0x12, 0x03);
    Board().smbus.stuckBusy = c.stuckBusy;
    Board().smbus.stuckByteDone = c.stuckByteDone;
    Board().smbus.nakArmed = c.nak;
    Board().smbus.nakAddress = 0x20;
    sim::ClearAccessLog(Board());
    Transfers();
    EXPECT_EQ(GetStatusPoEPort(1), c.status);
    EXPECT_EQ(CountReads(Board().smbus.base), c.statusReads);
    EXPECT_EQ(Transfers(), c.transfers);
    ExpectLockFree();
}

INSTANTIATE_TEST_SUITE_P(Hosts, PoeFaultTest, ::testing::ValuesIn(kFaults));

// A device that does not acknowledge: the writes go out regardless, the
// enable still answers 1, and the port stays dark.
TEST_F(PoeTest, EnableOnANakingControllerReportsSuccessAndPowersNothing) {
    LoadModel("Trelo-07");
    Board().smbus.nakArmed = true;
    Board().smbus.nakAddress = 0x20;
    EXPECT_EQ(EnablePoEPort(1), 1);
    EXPECT_EQ(Transfers(), "41:12>00! 41:14>00! 40:12=03! 40:14=11!");
    EXPECT_FALSE(Powered(1));
    ExpectLockFree();
}

// A write whose host never finishes: the enable returns after the 100th poll
// (with the preparation's clear and first poll before them), the controller
// unchanged and the lock free.
TEST_F(PoeTest, WriteOnAStuckBusyHostGivesUpAfterAHundredPolls) {
    LoadModel("Qantis-01");
    Board().smbus.stuckBusy = true;
    EXPECT_EQ(EnablePoEPort(2), 1);
    EXPECT_EQ(CountReads(Board().smbus.base), 2 + kPolls);
    EXPECT_FALSE(Powered(2));
    ExpectLockFree();
}

// No SMBus function on PCI, or PM register 01h reading 00h: every operation
// searches again and no transaction touches ports 0..5.
TEST_F(PoeTest, WithoutAHostNothingBelowPort6IsTouchedAndTheSearchRepeats) {
    for (const char* model : {"Trelo-11", "Vexa-06"}) {
        SCOPED_TRACE(model);
        ASSERT_TRUE(sim::SetUpBoard(model));
        if (sim::PciFunctionState* f = sim::ThePci().Find(0, 31, 3)) f->present = false;
        Board().smbus.base = 0;  // the PM register reads 00h
        Load();
        sim::ClearAccessLog(Board());
        EXPECT_EQ(GetStatusPoEPort(1), 0);
        EXPECT_EQ(EnablePoEPort(1), 1);
        EXPECT_FALSE(TouchedPortsBelow(6)) << Trace(Log());
        const u32 searches = CountReads(std::string(model) == "Vexa-06" ? 0xCD7 : 0xCFC);
        EXPECT_EQ(searches, std::string(model) == "Vexa-06" ? 2u : 2u * 6u);
        Unload();
    }
}

}  // namespace
}  // namespace hx::test
