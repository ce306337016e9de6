// halvexctl poe through the built binary on the virtual board.
#include <gtest/gtest.h>

#include "process_util.h"

namespace hx::test {
namespace {

ProcessResult Ctl(const std::string& args) { return RunCommand(std::string(HX_HALVEXCTL) + " " + args); }

TEST(HalvexctlPoe, OnPowersThePortsAndShowsTheirControllerChannel) {
    const ProcessResult board = Ctl("--virtual Trelo-12 poe on 1 8");
    EXPECT_EQ(board.exitCode, 0) << board.err;
    EXPECT_NE(board.out.find("1     on     21h/1               powered"), std::string::npos) << board.out;
    EXPECT_NE(board.out.find("8     on     20h/3               powered"), std::string::npos) << board.out;
    const ProcessResult card = Ctl("--virtual Trelo-01 poe on --card 5 4");
    EXPECT_EQ(card.exitCode, 0) << card.err;
    EXPECT_NE(card.out.find("4     on     2Bh/3               powered"), std::string::npos) << card.out;
}

TEST(HalvexctlPoe, PortsOutsideTheMapNameTheValidRange) {
    const struct {
        const char* args;
        int exitCode;
        const char* error;
    } cases[] = {
        {"--virtual Vexa-04 poe status 3", 2, "port 3 is outside the PoE ports of Vexa-04: 1..2"},
        {"--virtual Trelo-09 poe off 17", 2, "port 17 is outside the PoE ports of Trelo-09: 1..16"},
        {"--virtual Trelo-11 poe on --card 0 5", 2, "port 5 is outside the PoE ports of the 8086:1521 card at index 0: 1..4"},
        {"--virtual Trelo-01 poe status", 3, "Trelo-01 has no PoE ports"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = Ctl(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace hx::test
