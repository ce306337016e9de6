// The export layer: defaults without a platform, forwarding with one, the
// Setup-slot rule of the three Start exports, and the own bodies.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "halvex32.h"
#include "mcu/link.h"
#include "recording_platform.h"
#include "virtual_fixture.h"

namespace hx::test {
namespace {

using Words = std::vector<std::uint64_t>;

// Distinct argument objects so pointer arguments can be recognised.
DicosSetup g_dicos;
IgnSetting g_ign;
CanMessage g_msg;
Dt2Setup g_dt2;
std::uint32_t g_word;
double g_volts;
std::uint8_t g_buf[32];

std::uint64_t P(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

struct ForwardCase {
    int ordinal;
    const char* name;
    std::function<std::uint64_t()> call;  // calls the export, returns its result (0 for void)
    Words args;                           // what the slot must receive
    bool returnsValue;
};

std::vector<ForwardCase> ForwardingExports() {
    return {
        {1, "DIReadLine", [] { return DIReadLine(0xAB); }, {0xAB}, true},
        {2, "DIReadPort", [] { return DIReadPort(); }, {}, true},
        {3, "DOWriteLine", [] { DOWriteLine(7, 0xDEADBEEF); return 0u; }, {7, 0xDEADBEEF}, false},
        {4, "DOWritePort", [] { DOWritePort(0xBEEF); return 0u; }, {0xBEEF}, false},
        {6, "InitWDT", [] { return InitWDT(); }, {}, true},
        {8, "ResetWDT", [] { return ResetWDT(); }, {}, true},
        {9, "SetWDT", [] { return SetWDT(0xFFFE, 1); }, {0xFFFE, 1}, true},
        {10, "StartWDT", [] { return StartWDT(); }, {}, true},
        {11, "StopWDT", [] { return StopWDT(); }, {}, true},
        {12, "SetupDICOS", [] { return SetupDICOS(&g_dicos, 6); }, {P(&g_dicos), 6}, true},
        {13, "StartDICOS", [] { return StartDICOS(); }, {}, true},
        {14, "StopDICOS", [] { return StopDICOS(); }, {}, true},
        {16, "GetStatusPoEPort", [] { return GetStatusPoEPort(9); }, {9}, true},
        {17, "EnablePoEPort", [] { return EnablePoEPort(1); }, {1}, true},
        {18, "DisablePoEPort", [] { return DisablePoEPort(255); }, {255}, true},
        {19, "SetupDTIO", [] { return SetupDTIO(g_buf, 31); }, {P(g_buf), 31}, true},
        {20, "StartDTIO", [] { return StartDTIO(); }, {}, true},
        {21, "StopDTIO", [] { return StopDTIO(); }, {}, true},
        {22, "SetUnitDTIO", [] { return SetUnitDTIO(0x1234, 0xFFFFFFFF); }, {0x1234, 0xFFFFFFFF}, true},
        {24, "SetupDTFO", [] { return SetupDTFO(g_buf, 0); }, {P(g_buf), 0}, true},
        {25, "StartDTFO", [] { return StartDTFO(); }, {}, true},
        {26, "StopDTFO", [] { return StopDTFO(); }, {}, true},
        {27, "SetUnitDTFO", [] { return SetUnitDTFO(0, 5); }, {0, 5}, true},
        {29, "DOWriteLineChecked", [] { DOWriteLineChecked(255, 1); return 0u; }, {255, 1}, false},
        {30, "DOWritePortChecked", [] { DOWritePortChecked(0x8001); return 0u; }, {0x8001}, false},
        {33, "CAN_Setup", [] { return CAN_Setup(3, g_buf, 16); }, {3, P(g_buf), 16}, true},
        {34, "CAN_Start", [] { return CAN_Start(0); }, {0}, true},
        {35, "CAN_Stop", [] { return CAN_Stop(7); }, {7}, true},
        {36, "CAN_Send", [] { return CAN_Send(1, &g_msg, 16); }, {1, P(&g_msg), 16}, true},
        {37, "CAN_BitTimingGet", [] { return CAN_BitTimingGet(0, g_buf, 8); }, {0, P(g_buf), 8}, true},
        {38, "CAN_BitTimingSet", [] { return CAN_BitTimingSet(0, g_buf, 4); }, {0, P(g_buf), 4}, true},
        {40, "PWM_GenSetup", [] { return PWM_GenSetup(2, g_buf, 12); }, {2, P(g_buf), 12}, true},
        {41, "PWM_GenPeriod", [] { return PWM_GenPeriod(1, 20000); }, {1, 20000}, true},
        {42, "PWM_PulseWidth", [] { return PWM_PulseWidth(3, 777); }, {3, 777}, true},
        {43, "PWM_Start", [] { return PWM_Start(0xF); }, {0xF}, true},
        {44, "PWM_Stop", [] { return PWM_Stop(0x3); }, {0x3}, true},
        {45, "PWM_SyncTimeBase", [] { return PWM_SyncTimeBase(4); }, {4}, true},
        {46, "PWM_SyncUpdate", [] { return PWM_SyncUpdate(5); }, {5}, true},
        {47, "IGN_GetState", [] { return IGN_GetState(&g_word); }, {P(&g_word)}, true},
        {48, "IGN_GetBatteryVoltage", [] { return IGN_GetBatteryVoltage(&g_volts); }, {P(&g_volts)}, true},
        {49, "MCU_GetVersion", [] { return MCU_GetVersion(&g_word); }, {P(&g_word)}, true},
        {50, "LED_SetCurrentDriving", [] { return LED_SetCurrentDriving(1, 300); }, {1, 300}, true},
        {51, "PWM_PulseInvert", [] { return PWM_PulseInvert(6); }, {6}, true},
        {52, "ADC_Start", [] { return ADC_Start(1); }, {1}, true},
        {53, "ADC_Stop", [] { return ADC_Stop(2); }, {2}, true},
        {54, "ADC_GetData", [] { return ADC_GetData(7, &g_volts); }, {7, P(&g_volts)}, true},
        {55, "QEI_Start", [] { return QEI_Start(1); }, {1}, true},
        {56, "QEI_Stop", [] { return QEI_Stop(0); }, {0}, true},
        {57, "QEI_Setup", [] { return QEI_Setup(99, g_buf, 20); }, {99, P(g_buf), 20}, true},
        {58, "QEI_GetDirection", [] { return QEI_GetDirection(1, &g_word); }, {1, P(&g_word)}, true},
        {59, "QEI_GetVelocity", [] { return QEI_GetVelocity(2, &g_word); }, {2, P(&g_word)}, true},
        {60, "QEI_GetPosition", [] { return QEI_GetPosition(3, &g_word); }, {3, P(&g_word)}, true},
        {61, "QEI_SetPosition", [] { return QEI_SetPosition(4, 0x80000000); }, {4, 0x80000000}, true},
        {62, "IGN_GetSetting", [] { return IGN_GetSetting(&g_ign, 24); }, {P(&g_ign), 24}, true},
        {66, "PWM_ClockSet", [] { return PWM_ClockSet(9, 48000000); }, {9, 48000000}, true},
        {67, "DT2_Setup", [] { return DT2_Setup(&g_dt2, 32); }, {P(&g_dt2), 32}, true},
        {68, "DT2_Start", [] { return DT2_Start(); }, {}, true},
        {69, "DT2_Stop", [] { return DT2_Stop(); }, {}, true},
        {70, "DT2_SetUnit", [] { return DT2_SetUnit(0x12345, 3); }, {0x12345, 3}, true},
        {72, "DT2_StPush", [] { return DT2_StPush(0x3, 0x1); }, {0x3, 0x1}, true},
        {73, "DT2_StPull", [] { return DT2_StPull(&g_word); }, {P(&g_word)}, true},
        {75, "DT2_EiSendResult", [] { return DT2_EiSendResult(200, 1); }, {200, 1}, true},
        {76, "MCU_Reset", [] { return MCU_Reset(); }, {}, true},
    };
}

std::vector<ForwardCase> CardExports() {
    return {
        {63, "PCI_GetStatusPoEPort", [] { return PCI_GetStatusPoEPort(7, 4); }, {7, 4}, true},
        {64, "PCI_EnablePoEPort", [] { return PCI_EnablePoEPort(0, 1); }, {0, 1}, true},
        {65, "PCI_DisablePoEPort", [] { return PCI_DisablePoEPort(8, 0); }, {8, 0}, true},
    };
}

class DispatchTest : public VirtualBoardTest {
protected:
    void SetUp() override {
        VirtualBoardTest::SetUp();
        Calls().clear();
    }
    // Loads a board that matches no model, then clears the log of load-time
    // accesses so that any access seen later came from an export.
    void LoadWithoutPlatform() {
        ASSERT_TRUE(sim::SetUpBoard("Trelo-01"));
        const char text[] = "Unknown Board 1.0";
        sim::SetSmbiosBlob(reinterpret_cast<const u8*>(text), sizeof text - 1);
        ASSERT_TRUE(Load());
        ASSERT_EQ(CurrentPlatform.load(), nullptr);
        sim::ClearAccessLog(sim::TheBoardState());
    }
};

TEST_F(DispatchTest, WithoutPlatformEveryForwardingExportReturnsItsDefaultAndTouchesNothing) {
    LoadWithoutPlatform();
    Shared().dioSharedFlag.store(1);
    for (const ForwardCase& c : ForwardingExports()) {
        EXPECT_EQ(c.call(), 0u) << c.name;
    }
    for (const ForwardCase& c : CardExports()) {
        EXPECT_EQ(c.call(), 0u) << c.name;
    }
    EXPECT_EQ(InitDIO(), 0);
    EXPECT_EQ(Shared().dioSharedFlag.load(), 0u) << "InitDIO without a slot clears DioSharedFlag";
    EXPECT_EQ(sim::TheBoardState().log.count, 0u) << "no hardware access";
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DispatchTest, WithPlatformEveryExportForwardsItsArgumentsAndResultUntouched) {
    LoadWithoutPlatform();
    static const PlatformOps platform = FullRecordingPlatform();
    static const ExpansionCardOps card = RecordingCard();
    CurrentPlatform.store(&platform);
    CurrentCard.store(&card);
    std::vector<ForwardCase> cases = ForwardingExports();
    for (const ForwardCase& c : CardExports()) cases.push_back(c);
    for (const ForwardCase& c : cases) {
        SCOPED_TRACE(c.name);
        Calls().clear();
        const std::uint64_t result = c.call();
        ASSERT_EQ(Calls().size(), 1u);
        EXPECT_EQ(Calls()[0].ordinal, c.ordinal);
        EXPECT_EQ(Calls()[0].args, c.args);
        if (c.returnsValue) {
            EXPECT_EQ(result, static_cast<std::uint64_t>(SlotResult(c.ordinal)));
        }
    }
    Calls().clear();
    Shared().dioSharedFlag.store(1);
    EXPECT_EQ(InitDIO(), SlotResult(5));
    EXPECT_EQ(Shared().dioSharedFlag.load(), 1u) << "a forwarded InitDIO leaves the flag to the driver";
    CurrentPlatform.store(nullptr);
    CurrentCard.store(nullptr);
}

struct SetupRuleCase {
    const char* name;
    std::function<Bool32()> start;
    std::function<void(PlatformOps&)> clearSetup;
    int ordinal;
};

TEST_F(DispatchTest, StartExportsRefuseWhenTheSetupSlotIsEmpty) {
    LoadWithoutPlatform();
    const SetupRuleCase cases[] = {
        {"StartDICOS", [] { return StartDICOS(); }, [](PlatformOps& p) { p.dicos.SetupDICOS = nullptr; }, 13},
        {"StartDTIO", [] { return StartDTIO(); }, [](PlatformOps& p) { p.trigger.SetupDTIO = nullptr; }, 20},
        {"StartDTFO", [] { return StartDTFO(); }, [](PlatformOps& p) { p.trigger.SetupDTFO = nullptr; }, 25},
    };
    for (const SetupRuleCase& c : cases) {
        SCOPED_TRACE(c.name);
        static PlatformOps withSetup, withoutSetup;
        withSetup = FullRecordingPlatform();
        withoutSetup = FullRecordingPlatform();
        c.clearSetup(withoutSetup);

        Calls().clear();
        CurrentPlatform.store(&withoutSetup);
        EXPECT_EQ(c.start(), 0);
        EXPECT_TRUE(Calls().empty()) << "own slot filled but not called";

        CurrentPlatform.store(&withSetup);
        EXPECT_EQ(c.start(), SlotResult(c.ordinal));
        ASSERT_EQ(Calls().size(), 1u);
        EXPECT_EQ(Calls()[0].ordinal, c.ordinal);
    }
    CurrentPlatform.store(nullptr);
}

TEST_F(DispatchTest, DT2StPullRefusesANullPointerWithoutCallingTheSlot) {
    LoadWithoutPlatform();
    static const PlatformOps platform = FullRecordingPlatform();
    CurrentPlatform.store(&platform);
    EXPECT_EQ(DT2_StPull(nullptr), 0);
    EXPECT_TRUE(Calls().empty());
    CurrentPlatform.store(nullptr);
}

void HX_CALLBACK OnCanReceived(CanMessage*, uint32_t) {}
void HX_CALLBACK OtherCanReceived(CanMessage*, uint32_t) {}
void HX_CALLBACK OnCanStatus(uint32_t) {}
void HX_CALLBACK OnDicos(DiEventRecord*) {}
void HX_CALLBACK OnPwm(uint32_t, uint32_t) {}
void HX_CALLBACK OnDt2(uint32_t) {}

TEST_F(DispatchTest, RegistrationsStoreWhateverThePlatformAndCanAcceptsOnlyIndexZero) {
    LoadWithoutPlatform();
    EXPECT_EQ(CAN_RegisterReceived(0, OnCanReceived), 1);
    EXPECT_EQ(CAN_RegisterReceived(1, OtherCanReceived), 0);
    EXPECT_EQ(CAN_RegisterReceived(0xFFFFFFFF, OtherCanReceived), 0);
    EXPECT_EQ(CanReceivedCallbacks[0].load(), &OnCanReceived) << "a refused index leaves the cell unchanged";
    EXPECT_EQ(CAN_RegisterStatus(1, OnCanStatus), 0);
    EXPECT_EQ(CanStatusCallbacks[0].load(), nullptr);
    EXPECT_EQ(CAN_RegisterStatus(0, OnCanStatus), 1);
    EXPECT_EQ(CanStatusCallbacks[0].load(), &OnCanStatus);

    EXPECT_EQ(RegisterCallbackDICOS(OnDicos), 1);
    EXPECT_EQ(DicosCallback.load(), &OnDicos);
    EXPECT_EQ(PWM_RegisterStatus(OnPwm), 1);
    EXPECT_EQ(PwmStatusCallback.load(), &OnPwm);
    EXPECT_EQ(DT2_EiRegisterIndexed(OnDt2), 1);
    EXPECT_EQ(Dt2IndexedCallback.load(), &OnDt2);

    // A null pointer empties the cell.
    EXPECT_EQ(RegisterCallbackDICOS(nullptr), 1);
    EXPECT_EQ(DicosCallback.load(), nullptr);
    EXPECT_EQ(CAN_RegisterReceived(0, nullptr), 1);
    EXPECT_EQ(CanReceivedCallbacks[0].load(), nullptr);
    EXPECT_EQ(sim::TheBoardState().log.count, 0u);
}

TEST_F(DispatchTest, UnitGettersReportTheStoredUnitsWhateverThePlatform) {
    LoadWithoutPlatform();
    EXPECT_EQ(GetUnitDTIO(), 0);
    EXPECT_EQ(GetUnitDTFO(), 0);
    EXPECT_EQ(DT2_GetUnit(), 0);
    DtioUnit.store(0xFFFF);
    DtfoUnit.store(0x0102);
    Dt2Unit.store(7);
    EXPECT_EQ(GetUnitDTIO(), 0xFFFF);
    EXPECT_EQ(GetUnitDTFO(), 0x0102);
    EXPECT_EQ(DT2_GetUnit(), 7);
}

TEST_F(DispatchTest, StopDIOAndRegisterWinIOServiceWorkWithoutPlatform) {
    LoadWithoutPlatform();
    EXPECT_EQ(StopDIO(), 1);
    EXPECT_EQ(serialPortMcu.comHandle.load(), os::kNoHandle);
    EXPECT_EQ(StopDIO(), 1) << "a closed link stays closed";
    EXPECT_EQ(RegisterWinIOService(), 0u) << "no access-driver service on Linux";
    EXPECT_TRUE(sim::TheBoardState().accessOpen) << "hardware access stays open";
}

}  // namespace
}  // namespace hx::test
