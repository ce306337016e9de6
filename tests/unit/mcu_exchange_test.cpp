// The frame exchanges over the virtual board's pseudo-terminal: what goes on
// the wire, how answers are matched, and how each bad-line fault of the
// simulated transport ends (always within the exchange's time-outs).
#include <cstring>

#include "tests/unit/mcu_fixture.h"

namespace hx::test {
namespace {

using Exchange = McuLinkTest;

TEST_F(Exchange, QuerySendsTheFrameAndTakesTheAnswerWord) {
    LoadAndOpen();
    Edit([](sim::SerialLinkState& s) { s.mcu.diActive = 0x0005; });
    const u32 before = FramesReceived();
    u32 word = 0xFFFF0000;
    ASSERT_TRUE(McuQuery(0x35, &word));
    EXPECT_EQ(word, 0xFFFFFFFAu);  // lines 0 and 2 active: their bits read 0
    u32 version = 0;
    ASSERT_TRUE(McuQuery(0xFF, &version));
    EXPECT_EQ(version, sim::kFirmwareVersion);
    const auto frames = FramesSince(before);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], (Frame7{0x23, 0x35, 0x00, 0x00, 0xFF, 0xFF, 0x56}));
    EXPECT_EQ(frames[1], (Frame7{0x23, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x22}));
}

TEST_F(Exchange, QueryAcceptsOnlyItsCodeWithAGoodChecksumAndKeepsTheWordOtherwise) {
    LoadAndOpen();
    Edit([](sim::SerialLinkState& s) { s.mcu.world.ignition.keyOn = true; });
    u32 word = 7;
    ASSERT_TRUE(McuQuery(0xF5, &word));  // answer 23 F5 01 00 00 00 19
    EXPECT_EQ(word, 1u);

    Arm([](sim::LinkFaultState& f) { f.corruptChecksum = 1; });
    word = 7;
    EXPECT_FALSE(McuQuery(0xF5, &word));
    EXPECT_EQ(word, 7u);

    Arm([](sim::LinkFaultState& f) { f.otherCode = 1; });  // valid checksum, code F6h
    EXPECT_FALSE(McuQuery(0xF5, &word));
    EXPECT_EQ(word, 7u);

    Arm([](sim::LinkFaultState& f) { f.staleBefore = 1; });  // an earlier answer of another code is read first
    EXPECT_FALSE(McuQuery(0xF5, &word));
    EXPECT_EQ(word, 7u);
}

TEST_F(Exchange, CommandSucceedsWhenAnEventFrameArrivesBeforeTheEcho) {
    LoadAndOpen();
    ASSERT_TRUE(sim::EmitMcuEvent(0x30, 0x0105));
    EXPECT_TRUE(McuCommand(0x37, 0x00010001));
    u16 outputs = 0;
    Edit([&](sim::SerialLinkState& s) { outputs = s.mcu.doOn; });
    EXPECT_EQ(outputs, 0x0001);

    Arm([](sim::LinkFaultState& f) { f.staleBefore = 1; });  // a stale answer first: the second attempt finds the echo
    EXPECT_TRUE(McuCommand(0x37, 0x00010000));

    Arm([](sim::LinkFaultState& f) { f.staleBefore = 1; f.splitChunk = 3; f.splitGapMs = 300; });  // echo not within 10 ms
    EXPECT_FALSE(McuCommand(0x37, 0x00010001));
}

TEST_F(Exchange, CommandRangeSendsConsecutiveCodesAndStopsAtTheFirstMissingEcho) {
    LoadAndOpen();
    const u32 words[3] = {0x11, 0x22, 0x33};
    u32 before = FramesReceived();
    ASSERT_TRUE(McuCommandRange(0x86, words, words + 3));
    auto frames = FramesSince(before);
    ASSERT_EQ(frames.size(), 3u);
    for (u32 i = 0; i < 3; ++i) EXPECT_EQ(frames[i], MakeFrame(static_cast<u8>(0x86 + i), words[i]));

    Arm([](sim::LinkFaultState& f) { f.passAnswers = 1; f.otherCode = 1; });
    before = FramesReceived();
    EXPECT_FALSE(McuCommandRange(0x86, words, words + 3));
    frames = FramesSince(before);
    ASSERT_EQ(frames.size(), 2u);  // 88h is never sent
    EXPECT_EQ(frames[1][1], 0x87);
}

// The setup records of DTFO (49h), DTIO (69h) and QEI (B9h) run as far as
// the caller's record goes, over other features' codes and past FFh.
TEST_F(Exchange, SetupRangesAreEchoedAsFarAsTheRecordGoes) {
    LoadAndOpen();
    u32 words[80] = {};
    for (const auto& [first, count] : {std::pair<u8, u32>{0x49, 24}, {0x69, 12}, {0xB9, 80}}) {
        EXPECT_TRUE(McuCommandRange(first, words, words + count)) << int(first);
    }
}

TEST_F(Exchange, QueryRangeReplacesEachWordAndKeepsTheRestAfterAFailure) {
    LoadAndOpen();
    Edit([](sim::SerialLinkState& s) {
        s.mcu.can.bitTiming[0] = 0xAAAA;
        s.mcu.can.bitTiming[1] = 0xBBBB;
    });
    u32 words[2] = {1, 2};
    ASSERT_TRUE(McuQueryRange(0x84, words, words + 2));
    EXPECT_EQ(words[0], 0xAAAAu);
    EXPECT_EQ(words[1], 0xBBBBu);

    Arm([](sim::LinkFaultState& f) { f.passAnswers = 1; f.corruptChecksum = 1; });
    u32 again[2] = {1, 2};
    EXPECT_FALSE(McuQueryRange(0x84, again, again + 2));
    EXPECT_EQ(again[0], 0xAAAAu);
    EXPECT_EQ(again[1], 2u);
}

TEST_F(Exchange, EmptyRangesSucceedWithoutTraffic) {
    LoadAndOpen();
    u32 word = 0;
    const u32 before = FramesReceived();
    EXPECT_TRUE(McuQueryRange(0x84, &word, &word));
    EXPECT_TRUE(McuCommandRange(0x86, &word, &word));
    EXPECT_TRUE(McuPostRange(&word, &word));
    ASSERT_TRUE(McuPost(0x97, 0));  // a marker behind them
    ASSERT_TRUE(WaitForFrames(before + 1));
    EXPECT_EQ(FramesSince(before)[0][1], 0x97);
}

TEST_F(Exchange, PostsAreWrittenButNeverRead) {
    LoadAndOpen();
    const Frame7 pending = MakeFrame(0xFF, 0x12345678);
    Inject(pending);  // an answer already waiting in the input queue
    const u32 before = FramesReceived();
    const u32 setup[3] = {5, 6, 7};
    ASSERT_TRUE(McuPost(0x92, 1));
    ASSERT_TRUE(McuPostRange(setup, setup + 3));
    ASSERT_TRUE(WaitForFrames(before + 4));
    const auto frames = FramesSince(before);
    EXPECT_EQ(frames[1][1], 0x9A);
    EXPECT_EQ(frames[2][1], 0x9B);
    EXPECT_EQ(frames[3][1], 0x9C);
    Edit([](sim::SerialLinkState& s) {
        EXPECT_EQ(s.mcu.pwm.genSetup[1][0], 5u);
        EXPECT_EQ(s.mcu.pwm.genSetup[1][2], 7u);
    });
    Frame7 stillThere{};
    ASSERT_EQ(ReadAll(serialPortMcu, stillThere.data(), kFrameSize), kFrameSize);
    EXPECT_EQ(stillThere, pending);
}

TEST_F(Exchange, AnswersArrivingInPiecesAreAssembled) {
    LoadAndOpen();
    u32 version = 0;
    Arm([](sim::LinkFaultState& f) { f.splitChunk = 2; f.splitGapMs = 20; });
    EXPECT_TRUE(McuQuery(0xFF, &version));
    EXPECT_EQ(version, sim::kFirmwareVersion);
    EXPECT_TRUE(McuCommand(0x37, 0x00020002));
}

TEST_F(Exchange, NoiseBeforeAnAnswerFailsTheQueryWithoutResynchronising) {
    LoadAndOpen();
    Arm([](sim::LinkFaultState& f) { f.noiseBefore = 1; f.noiseBytes = 3; });
    u32 word = 9;
    EXPECT_FALSE(McuQuery(0xFF, &word));
    EXPECT_EQ(word, 9u);
}

// The slow cases: each waits out the 1000 ms answer time-out once.
TEST_F(Exchange, SlowAnswerDelayedPastTheTimeoutFailsTheQuery) {
    LoadAndOpen();
    Arm([](sim::LinkFaultState& f) { f.delayAnswers = 1; f.delayMs = 1500; });
    u32 word = 3;
    EXPECT_FALSE(McuQuery(0xFF, &word));
    EXPECT_EQ(word, 3u);
}

TEST_F(Exchange, SlowRestOfAnAnswerLaterThanTheShortTimeoutFailsTheQuery) {
    LoadAndOpen();
    Arm([](sim::LinkFaultState& f) { f.splitChunk = 4; f.splitGapMs = 1500; });
    u32 version = 0;
    EXPECT_FALSE(McuQuery(0xFF, &version));
    EXPECT_EQ(version, 0u);
}

// Only DICOS C2 and trigger I/O T2/T3 send the short form (23h, c, 00h,
// 23h + c, 00h, 00h, 00h); any other code in it is not answered, and a
// missing echo fails the exchange.
TEST_F(Exchange, SlowShortCommandsAreEchoedOnlyForTheirOwnCodes) {
    LoadAndOpen("Trelo-06");  // trigger blocks in the short-command dialect
    const auto shortCommand = [](u8 code) {
        const McuFrame frame = {kLeadRequest, code, 0, static_cast<u8>(kLeadRequest + code), 0, 0, 0};
        return McuExchangeEcho(frame);
    };
    for (u8 code : {0x30, 0x31, 0x41, 0x42, 0x43, 0x61, 0x62, 0x63}) EXPECT_TRUE(shortCommand(code)) << int(code);
    EXPECT_FALSE(shortCommand(0x37));
}

TEST_F(Exchange, SlowQueryRangeCodesWrapFromFFToZero) {
    LoadAndOpen();
    u32 words[2] = {0, 0x55};
    const u32 before = FramesReceived();
    EXPECT_FALSE(McuQueryRange(0xFF, words, words + 2));  // 00h is not answered
    EXPECT_EQ(words[0], sim::kFirmwareVersion);
    EXPECT_EQ(words[1], 0x55u);
    const auto frames = FramesSince(before);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], MakeFrame(0x00, 0x55));
}

TEST_F(Exchange, EveryExchangeFailsPromptlyOnceThePortIsTakenAway) {
    LoadAndOpen();
    sim::TakeLinkAway(sim::LinkRole::Mcu);
    u32 word = 4;
    EXPECT_FALSE(McuQuery(0xFF, &word));
    EXPECT_EQ(word, 4u);
    EXPECT_FALSE(McuCommand(0x37, 0));
    EXPECT_FALSE(McuPost(0x90, 0));
    u8 byte = 0;
    u32 got = 0;
    EXPECT_FALSE(LinkRead(serialPortMcu, &byte, 1, &got, os::kInfinite));
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(os::HandleIsOpen(serialPortMcu.comHandle.load()));  // the handle stays; it just fails
}

}  // namespace
}  // namespace hx::test
