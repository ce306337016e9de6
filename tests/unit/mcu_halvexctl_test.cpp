// halvexctl mcu on the virtual board: the firmware's version, and raw frames
// shown byte for byte as they went out and came back.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/process_util.h"

namespace hx::test {
namespace {

ProcessResult Ctl(const std::string& args) { return RunCommand(std::string(HX_HALVEXCTL) + " --virtual Trelo-11 " + args); }

TEST(HalvexctlMcu, VersionPrintsTheFirmwareVersion) {
    const ProcessResult r = Ctl("mcu version");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("0x00010203"), std::string::npos) << r.out;
}

TEST(HalvexctlMcu, RawQueryShowsTheFrameAndTheAnswerWord) {
    const ProcessResult r = Ctl("mcu raw query 35h 0xFFFF0000");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("23 35 00 00 FF FF 56"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0xFFFFFFFF"), std::string::npos) << r.out;  // no input active
}

TEST(HalvexctlMcu, RawCommandAndPost) {
    ProcessResult r = Ctl("mcu raw command 0x37 0x00030001");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("echoed"), std::string::npos) << r.out;
    r = Ctl("mcu raw post 0x90 1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("23 90 01 00 00 00 B4"), std::string::npos) << r.out;
    EXPECT_NE(Ctl("mcu raw query 0x100 0").exitCode, 0);  // not a byte
}

}  // namespace
}  // namespace hx::test
