// Frame bytes of the MCU and CAN links, and the firmware's reading of them.
#include <gtest/gtest.h>

#include <cstring>

#include "mcu/frame.h"
#include "sim/firmware/can_controller.h"
#include "sim/firmware/mcu_firmware.h"

namespace hx {
namespace {

using Bytes7 = std::array<u8, 7>;

Bytes7 Built(u8 code, u32 word) {
    Bytes7 f{};
    BuildFrame(code, word, f.data());
    return f;
}

TEST(McuFrame, BuildsTheDocumentedExampleFrames) {
    EXPECT_EQ(Built(0x30, 0), (Bytes7{0x23, 0x30, 0, 0, 0, 0, 0x53}));
    EXPECT_EQ(Built(0x31, 0), (Bytes7{0x23, 0x31, 0, 0, 0, 0, 0x54}));
    EXPECT_EQ(Built(0x80, 0), (Bytes7{0x23, 0x80, 0, 0, 0, 0, 0xA3}));
    EXPECT_EQ(Built(0x81, 0), (Bytes7{0x23, 0x81, 0, 0, 0, 0, 0xA4}));
    EXPECT_EQ(Built(0x35, 0xFFFF0000), (Bytes7{0x23, 0x35, 0, 0, 0xFF, 0xFF, 0x56}));
    EXPECT_EQ(Built(0xFF, 0), (Bytes7{0x23, 0xFF, 0, 0, 0, 0, 0x22}));
    EXPECT_EQ(Built(0x5F, 0xC803), (Bytes7{0x23, 0x5F, 0x03, 0xC8, 0, 0, 0x4D}));
}

TEST(McuFrame, ChecksumWrapsModulo256AndPayloadIsLittleEndian) {
    const Bytes7 f = Built(0xF5, 0x01);
    EXPECT_EQ(f, (Bytes7{0x23, 0xF5, 0x01, 0, 0, 0, 0x19}));
    EXPECT_EQ(FramePayload(Built(0x10, 0xA1B2C3D4).data()), 0xA1B2C3D4u);
}

TEST(CanFrame, CarriesTheMessageFieldsAtTheirWireOffsets) {
    CanMessage m{};
    m.id = 0x12345678;
    m.flags = 0xA1B2;
    m.reserved = 0x77;
    m.length = 8;
    for (u8 i = 0; i < 8; ++i) m.data[i] = static_cast<u8>(0x10 + i);
    u8 wire[kCanFrameSize];
    EncodeCanFrame(m, wire);
    const u8 expected[kCanFrameSize] = {0x24, 0xB2, 0xA1, 8, 0x10, 0x11, 0x12, 0x13,
                                        0x14, 0x15, 0x16, 0x17, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(0, std::memcmp(wire, expected, sizeof wire));

    CanMessage back{};
    back.reserved = 0x55;
    DecodeCanFrame(wire, &back);
    EXPECT_EQ(back.id, m.id);
    EXPECT_EQ(back.flags, m.flags);
    EXPECT_EQ(back.reserved, 0);
    EXPECT_EQ(back.length, 8);
    EXPECT_EQ(0, std::memcmp(back.data, m.data, 8));

    // The controller reads the same frame with its own decoder.
    sim::CanControllerState controller{};
    sim::CanControllerReceive(controller, wire, 10);  // split: 10 bytes, then 6
    sim::CanControllerReceive(controller, wire + 10, 6);
    ASSERT_EQ(controller.framesReceived, 1u);
    EXPECT_EQ(controller.log[0].id, m.id);
    EXPECT_EQ(controller.log[0].flags, m.flags);
}

// ---- the firmware's command table, without a line in between -----------------

struct Collected {
    std::vector<std::vector<u8>> answers;
    static void Emit(void* self, const u8* bytes, u32 count) {
        static_cast<Collected*>(self)->answers.emplace_back(bytes, bytes + count);
    }
};

class Firmware : public ::testing::Test {
protected:
    void SetUp() override { sim::PowerOnFirmware(state_); }
    void Feed(const u8* bytes, u32 count) { sim::FirmwareReceive(state_, bytes, count, {Collected::Emit, &out_}); }
    void Feed(const Bytes7& f) { Feed(f.data(), 7); }
    sim::McuFirmwareState state_{};
    Collected out_;
};

TEST_F(Firmware, AnswersEachExchangeKindAsTheCommandMapSays) {
    Feed(Built(0xFF, 0));                // query
    Feed(Built(0x37, 0x00030001));       // command
    Feed(Built(0x93, 500));              // post
    Feed(Built(0x01, 0));                // not in the map
    ASSERT_EQ(out_.answers.size(), 2u);
    const Bytes7 version = Built(0xFF, sim::kFirmwareVersion);
    EXPECT_EQ(out_.answers[0], std::vector<u8>(version.begin(), version.end()));
    const Bytes7 echo = Built(0x37, 0x00030001);
    EXPECT_EQ(out_.answers[1], std::vector<u8>(echo.begin(), echo.end()));
    EXPECT_EQ(state_.doOn, 0x0001);  // line 0 on, line 1 off: only masked lines change
    EXPECT_EQ(state_.pwm.period[0], 500u);
}

// Every code of the command map answers as its exchange kind requires.
TEST_F(Firmware, EveryMappedCodeAnswersByItsExchangeKind) {
    const u8 queries[] = {0x35, 0x84, 0x85, 0xA2, 0xB3, 0xB4, 0xB5, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFF};
    const u8 posts[] = {0x90, 0x91, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C};
    const u8 commands[] = {0x30, 0x31, 0x32, 0x33, 0x37, 0x41, 0x42, 0x43, 0x44, 0x49, 0x4A, 0x50, 0x51, 0x52,
                           0x53, 0x5A, 0x5F, 0x61, 0x62, 0x63, 0x64, 0x69, 0x6A, 0x7A, 0x80, 0x81, 0x82, 0x83,
                           0x86, 0x87, 0x88, 0x89, 0xA0, 0xA1, 0xB0, 0xB1, 0xB2, 0xB6, 0xB9, 0xBA};
    for (u8 code : queries) {
        out_.answers.clear();
        Feed(Built(code, 1));
        ASSERT_EQ(out_.answers.size(), 1u) << std::hex << int(code);
        EXPECT_EQ(out_.answers[0][1], code);
        EXPECT_EQ(out_.answers[0][6], FrameChecksum(out_.answers[0].data())) << std::hex << int(code);
    }
    for (u8 code : commands) {
        out_.answers.clear();
        const Bytes7 request = Built(code, 0x01020304);
        Feed(request);
        ASSERT_EQ(out_.answers.size(), 1u) << std::hex << int(code);
        EXPECT_EQ(out_.answers[0], std::vector<u8>(request.begin(), request.end())) << std::hex << int(code);
    }
    out_.answers.clear();
    for (u8 code : posts) Feed(Built(code, 1));
    EXPECT_TRUE(out_.answers.empty());
}

TEST_F(Firmware, FeatureStateFollowsTheCommands) {
    Feed(Built(0x82, 0x1111));  // CAN bit timing word 1 set ...
    Feed(Built(0x83, 0x2222));
    out_.answers.clear();
    Feed(Built(0x85, 0));       // ... and read back
    EXPECT_EQ(FramePayload(out_.answers.at(0).data()), 0x2222u);
    Feed(Built(0xB2, 2));       // QEI channel 2: set position, read it back
    Feed(Built(0xB6, 777));
    out_.answers.clear();
    Feed(Built(0xB5, 2));
    EXPECT_EQ(FramePayload(out_.answers.at(0).data()), 777u);
    Feed(Built(0x52, 0x500050));
    Feed(Built(0x5F, 0xC803));
    EXPECT_EQ(state_.dt2.unit, 0x500050u);
    EXPECT_EQ(state_.dt2.lastIndex, 3);
    EXPECT_EQ(state_.dt2.lastResult, 200);
}

TEST_F(Firmware, EchoesShortCommandsAndAnswersIgnitionTextRequests) {
    const Bytes7 shortStart{0x23, 0x31, 0x00, 0x54, 0x00, 0x00, 0x00};
    Feed(shortStart);
    const Bytes7 igns{0x23, 0x3F, 'I', 'G', 'N', 'S', 0x93};
    const Bytes7 volt{0x23, 0x3F, 'V', 'O', 'L', 'T', 0xA7};
    state_.ign.batteryRaw = 0x1234;
    Feed(igns);
    Feed(volt);
    ASSERT_EQ(out_.answers.size(), 3u);
    EXPECT_EQ(out_.answers[0], std::vector<u8>(shortStart.begin(), shortStart.end()));
    EXPECT_TRUE(state_.dicosRunning);
    EXPECT_EQ(out_.answers[1][2], 1);
    EXPECT_EQ(FramePayload(out_.answers[2].data()), 0x1234u);
}

TEST_F(Firmware, DropsBadChecksumsAndNoiseAndAssemblesSplitRequests) {
    Bytes7 bad = Built(0xFF, 0);
    bad[6] ^= 1;
    const u8 noise[] = {0x00, 0x55};
    Feed(noise, 2);
    Feed(bad);
    const Bytes7 good = Built(0xF6, 0);
    Feed(good.data(), 3);
    Feed(good.data() + 3, 4);
    ASSERT_EQ(out_.answers.size(), 1u);
    EXPECT_EQ(out_.answers[0][1], 0xF6);
    EXPECT_EQ(state_.noiseBytes, 2u);
    EXPECT_EQ(sim::ReceivedAt(state_, 0)->kind, sim::RequestKind::BadChecksum);
}

}  // namespace
}  // namespace hx
