// Frame bytes of the MCU and CAN links against literal wire bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "mcu/frame.h"

namespace hx {
namespace {

using Bytes7 = std::array<u8, 7>;

Bytes7 Built(u8 code, u32 word) {
    Bytes7 f{};
    BuildFrame(code, word, f.data());
    return f;
}

// Lead 23h, code, payload little-endian, checksum = sum of the first six
// bytes modulo 256.
TEST(McuFrame, BuildsTheDocumentedExampleFrames) {
    EXPECT_EQ(Built(0x30, 0), (Bytes7{0x23, 0x30, 0, 0, 0, 0, 0x53}));
    EXPECT_EQ(Built(0x31, 0), (Bytes7{0x23, 0x31, 0, 0, 0, 0, 0x54}));
    EXPECT_EQ(Built(0x80, 0), (Bytes7{0x23, 0x80, 0, 0, 0, 0, 0xA3}));
    EXPECT_EQ(Built(0x81, 0), (Bytes7{0x23, 0x81, 0, 0, 0, 0, 0xA4}));
    EXPECT_EQ(Built(0x35, 0xFFFF0000), (Bytes7{0x23, 0x35, 0, 0, 0xFF, 0xFF, 0x56}));
    EXPECT_EQ(Built(0xFF, 0), (Bytes7{0x23, 0xFF, 0, 0, 0, 0, 0x22}));
    EXPECT_EQ(Built(0x5F, 0xC803), (Bytes7{0x23, 0x5F, 0x03, 0xC8, 0, 0, 0x4D}));
    EXPECT_EQ(Built(0xF5, 0x01), (Bytes7{0x23, 0xF5, 0x01, 0, 0, 0, 0x19}));
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
    DecodeCanFrame(expected, &back);
    EXPECT_EQ(back.id, m.id);
    EXPECT_EQ(back.flags, m.flags);
    EXPECT_EQ(back.reserved, 0);
    EXPECT_EQ(back.length, 8);
    EXPECT_EQ(0, std::memcmp(back.data, m.data, 8));
}

}  // namespace
}  // namespace hx
