// The export layer: arguments and results that a wrong slot signature would
// cut, DT2_StPull's null check, the Setup-slot rule of the three Start
// exports, and the single CAN callback index.
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "halvex32.h"
#include "recording_platform.h"
#include "virtual_fixture.h"

namespace hx::test {
namespace {

CanMessage g_msg;
std::uint32_t g_word;

std::uint64_t P(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

class DispatchTest : public VirtualBoardTest {
protected:
    // A freshly loaded library; the tests put their own tables in.
    void SetUp() override {
        VirtualBoardTest::SetUp();
        Calls().clear();
        LoadModel("Trelo-15");
    }
};

struct ForwardCase {
    const char* name;
    std::function<std::uint64_t()> call;  // calls the export, returns its result (0 for void)
    int ordinal;                          // the slot that must be called, 0 for none
    std::vector<std::uint64_t> args;      // what the slot must receive
    std::uint64_t result;
};

TEST_F(DispatchTest, ArgumentsAndResultsReachTheSlotAtTheirFullWidth) {
    static const PlatformOps platform = RecordingPlatform();
    static const ExpansionCardOps card = RecordingCard();
    CurrentPlatform.store(&platform);
    CurrentCard.store(&card);
    const ForwardCase cases[] = {
        {"DIReadLine", [] { return DIReadLine(0xAB); }, 1, {0xAB}, kSlotResult},
        {"DIReadPort", [] { return DIReadPort(); }, 2, {}, 0x5678},
        {"DOWritePort", [] { DOWritePort(0xBEEF); return 0u; }, 4, {0xBEEF}, 0},
        {"SetWDT", [] { return SetWDT(0xFFFE, 0x81); }, 9, {0xFFFE, 0x81}, kSlotResult},
        {"GetStatusPoEPort", [] { return GetStatusPoEPort(0x81); }, 16, {0x81}, 0x78},
        {"SetUnitDTIO", [] { return SetUnitDTIO(0xFFFF, 0xFFFFFFFF); }, 22, {0xFFFF, 0xFFFFFFFF}, kSlotResult},
        {"CAN_Send", [] { return CAN_Send(1, &g_msg, 16); }, 36, {1, P(&g_msg), 16}, kSlotResult},
        {"DT2_StPull", [] { return DT2_StPull(&g_word); }, 73, {P(&g_word)}, kSlotResult},
        {"DT2_StPull(NULL)", [] { return DT2_StPull(nullptr); }, 0, {}, 0},
        {"DT2_EiSendResult", [] { return DT2_EiSendResult(200, 0xFE); }, 75, {200, 0xFE}, kSlotResult},
        {"PCI_GetStatusPoEPort", [] { return PCI_GetStatusPoEPort(7, 0x104); }, 63, {7, 0x104}, 0x78},
    };
    for (const ForwardCase& c : cases) {
        SCOPED_TRACE(c.name);
        Calls().clear();
        EXPECT_EQ(c.call(), c.result);
        std::vector<std::pair<int, std::vector<std::uint64_t>>> seen, expected;
        for (const RecordedCall& call : Calls()) seen.emplace_back(call.ordinal, call.args);
        if (c.ordinal) expected.emplace_back(c.ordinal, c.args);
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(DispatchTest, StartExportsRefuseWhenTheSetupSlotIsEmpty) {
    const struct {
        const char* name;
        std::function<HX_BOOL()> start;
        std::function<void(PlatformOps&)> clearSetup;
        int ordinal;
    } cases[] = {
        {"StartDICOS", [] { return StartDICOS(); }, [](PlatformOps& p) { p.dicos.SetupDICOS = nullptr; }, 13},
        {"StartDTIO", [] { return StartDTIO(); }, [](PlatformOps& p) { p.trigger.SetupDTIO = nullptr; }, 20},
        {"StartDTFO", [] { return StartDTFO(); }, [](PlatformOps& p) { p.trigger.SetupDTFO = nullptr; }, 25},
    };
    static PlatformOps withSetup, withoutSetup;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        withSetup = RecordingPlatform();
        withoutSetup = RecordingPlatform();
        c.clearSetup(withoutSetup);
        Calls().clear();
        CurrentPlatform.store(&withoutSetup);
        EXPECT_EQ(c.start(), 0);
        EXPECT_TRUE(Calls().empty()) << "own slot filled but called";
        CurrentPlatform.store(&withSetup);
        EXPECT_EQ(c.start(), static_cast<HX_BOOL>(kSlotResult));
        ASSERT_EQ(Calls().size(), 1u);
        EXPECT_EQ(Calls()[0].ordinal, c.ordinal);
    }
}

void HX_CALLBACK OnCanReceived(CanMessage*, uint32_t) {}
void HX_CALLBACK OnCanStatus(uint32_t) {}

TEST_F(DispatchTest, CanCallbacksAcceptOnlyIndexZero) {
    EXPECT_EQ(CAN_RegisterReceived(0, OnCanReceived), 1);
    EXPECT_EQ(CAN_RegisterReceived(1, nullptr), 0);
    EXPECT_EQ(CAN_RegisterReceived(0xFFFFFFFF, nullptr), 0);
    EXPECT_EQ(CanReceivedCallbacks[0].load(), &OnCanReceived) << "a refused index leaves the cell unchanged";
    EXPECT_EQ(CAN_RegisterStatus(1, OnCanStatus), 0);
    EXPECT_EQ(CanStatusCallbacks[0].load(), nullptr);
}

}  // namespace
}  // namespace hx::test
