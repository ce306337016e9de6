// The frame exchanges over the virtual board's pseudo-terminal: what goes on
// the wire, how answers are matched, and how each bad-line fault of the
// simulated transport ends (always within the exchange's time-outs).
#include <functional>

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
    EXPECT_EQ(FramesSince(before), (std::vector<Frame7>{{0x23, 0x35, 0x00, 0x00, 0xFF, 0xFF, 0x56},
                                                        {0x23, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x22}}));
}

// A query takes only an answer of its own code with a good checksum, whole
// within the time-outs (1000 ms for the answer, then the short one for the
// rest of it), and keeps the caller's word otherwise. Each bad line on a
// fresh link: the late bytes of one would meet the next.
TEST_F(Exchange, QueryAcceptsOnlyItsCodeWithAGoodChecksumAndKeepsTheWordOtherwise) {
    const struct { const char* name; std::function<void(sim::LinkFaultState&)> arm; bool ok; } rows[] = {
        {"a clean line: answer 23 F5 01 00 00 00 19", [](auto&) {}, true},
        {"in pieces, assembled", [](auto& f) { f.splitChunk = 2, f.splitGapMs = 20; }, true},
        {"bad checksum", [](auto& f) { f.corruptChecksum = 1; }, false},
        {"valid checksum, code F6h", [](auto& f) { f.otherCode = 1; }, false},
        {"an earlier answer of another code first", [](auto& f) { f.staleBefore = 1; }, false},
        {"noise first: no resynchronising", [](auto& f) { f.noiseBefore = 1, f.noiseBytes = 3; }, false},
        {"slow: answer past the time-out", [](auto& f) { f.delayAnswers = 1, f.delayMs = 1500; }, false},
        {"slow: rest of the answer past the short time-out", [](auto& f) { f.splitChunk = 4, f.splitGapMs = 1500; }, false},
    };
    for (const auto& row : rows) {
        Unload();
        LoadAndOpen();
        Edit([](sim::SerialLinkState& s) { s.mcu.world.ignition.keyOn = true; });
        Arm(row.arm);
        u32 word = 7;
        EXPECT_EQ(McuQuery(0xF5, &word), row.ok) << row.name;
        EXPECT_EQ(word, row.ok ? 1u : 7u) << row.name;
    }
}

TEST_F(Exchange, CommandSucceedsWhenAnEventFrameArrivesBeforeTheEcho) {
    LoadAndOpen();
    ASSERT_TRUE(sim::EmitMcuEvent(0x30, 0x0105));
    EXPECT_TRUE(McuCommand(0x37, 0x00010001));
    Edit([](sim::SerialLinkState& s) { EXPECT_EQ(s.mcu.doOn, 0x0001); });

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
    EXPECT_EQ(FramesSince(before), (std::vector{MakeFrame(0x86, 0x11), MakeFrame(0x87, 0x22), MakeFrame(0x88, 0x33)}));

    Arm([](sim::LinkFaultState& f) { f.passAnswers = 1; f.otherCode = 1; });
    before = FramesReceived();
    EXPECT_FALSE(McuCommandRange(0x86, words, words + 3));
    EXPECT_EQ(FramesSince(before), (std::vector{MakeFrame(0x86, 0x11), MakeFrame(0x87, 0x22)}));  // 88h is never sent
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
    std::array<u32, 2> words{1, 2};
    ASSERT_TRUE(McuQueryRange(0x84, words.begin(), words.end()));
    EXPECT_EQ(words, (std::array<u32, 2>{0xAAAA, 0xBBBB}));

    Arm([](sim::LinkFaultState& f) { f.passAnswers = 1; f.corruptChecksum = 1; });
    words = {1, 2};
    EXPECT_FALSE(McuQueryRange(0x84, words.begin(), words.end()));
    EXPECT_EQ(words, (std::array<u32, 2>{0xAAAA, 2}));
}

// Posts leave an answer already waiting for its reader; empty ranges succeed
// without traffic.
TEST_F(Exchange, PostsAreWrittenButNeverReadAndEmptyRangesSendNothing) {
    LoadAndOpen();
    const Frame7 pending = MakeFrame(0xFF, 0x12345678);
    Inject(pending);  // an answer already waiting in the input queue
    const u32 before = FramesReceived();
    const u32 setup[3] = {5, 6, 7};
    u32 word = 0;
    EXPECT_TRUE(McuQueryRange(0x84, &word, &word) && McuCommandRange(0x86, &word, &word) && McuPostRange(&word, &word));
    ASSERT_TRUE(McuPost(0x92, 1));
    ASSERT_TRUE(McuPostRange(setup, setup + 3));
    ASSERT_TRUE(WaitForFrames(before + 4));
    EXPECT_EQ(FramesSince(before), (std::vector{MakeFrame(0x92, 1), MakeFrame(0x9A, 5), MakeFrame(0x9B, 6), MakeFrame(0x9C, 7)}));
    Frame7 stillThere{};
    ASSERT_EQ(ReadAll(serialPortMcu, stillThere.data(), kFrameSize), kFrameSize);
    EXPECT_EQ(stillThere, pending);
}

TEST_F(Exchange, CommandEchoesArrivingInPiecesAreAssembled) {
    LoadAndOpen();
    Arm([](sim::LinkFaultState& f) { f.splitChunk = 2; f.splitGapMs = 20; });
    EXPECT_TRUE(McuCommand(0x37, 0x00020002));
}

// Only DICOS C2 and trigger I/O T2/T3 send the short form (23h, c, 00h,
// 23h + c, 00h, 00h, 00h); any other code in it is not answered, and a
// missing echo fails the exchange.
TEST_F(Exchange, SlowShortCommandsAreEchoedOnlyForTheirOwnCodes) {
    LoadAndOpen("Trelo-06");  // trigger blocks in the short-command dialect
    const auto shortCommand = [](u8 code) { return McuExchangeEcho(ShortFrame(code).data()); };
    for (u8 code : {0x30, 0x31, 0x41, 0x42, 0x43, 0x61, 0x62, 0x63}) EXPECT_TRUE(shortCommand(code)) << int(code);
    EXPECT_FALSE(shortCommand(0x37));
}

TEST_F(Exchange, SlowQueryRangeCodesWrapFromFFToZero) {
    LoadAndOpen();
    std::array<u32, 2> words{0, 0x55};
    const u32 before = FramesReceived();
    EXPECT_FALSE(McuQueryRange(0xFF, words.begin(), words.end()));  // 00h is not answered
    EXPECT_EQ(words, (std::array<u32, 2>{sim::kFirmwareVersion, 0x55}));
    EXPECT_EQ(FramesSince(before), (std::vector{MakeFrame(0xFF, 0), MakeFrame(0x00, 0x55)}));
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
