// halvexctl through the built binary: the model list without hardware, the
// MCU commands on the virtual board (raw frames shown byte for byte as they
// went out and came back, events decoded as they arrive), and a feature the
// model lacks; the DIO commands with the line ranges of the model's family.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/process_util.h"

namespace hx::test {
namespace {

TEST(Halvexctl, CommandsAnswerOrSayWhatIsMissing) {
    const struct {
        const char* args;
        int exitCode;
        const char* out;
        const char* err;  // nullptr: nothing on stderr
    } cases[] = {
        {"models", 0, "Trelo-11\n", nullptr},
        {"--virtual Trelo-11 mcu version", 0, "0x00010203", nullptr},
        {"--virtual Trelo-01 mcu version", 3, "", "halvexctl: Trelo-01 has no MCU version support\n"},
        {"--virtual Trelo-01 mcu raw query 35h 0", 3, "", "halvexctl: Trelo-01 has no MCU link\n"},
        {"--virtual Trelo-11 mcu raw query 35h 0xFFFF0000", 0,
         "sent:    23 35 00 00 FF FF 56\nanswer:  23 35 FF FF FF FF 54\nword:    0xFFFFFFFF\n", nullptr},  // no input active
        {"--virtual Trelo-11 mcu raw command 0x37 0x00030001", 0, "echoed", nullptr},
        {"--virtual Trelo-11 mcu raw post 0x90 1", 0, "sent:    23 90 01 00 00 00 B4\nposted", nullptr},
        {"--virtual Trelo-11 mcu raw query 0x100 0", 2, "", "CODE must be a byte"},
        // Each event kind decoded once, in the order the firmware sent them.
        {"--virtual Trelo-11 mcu watch --demo --for 300ms", 0,
         "DI change    inputs 0001  changed 0001  sequence 1\nPWM status   generator 44  status 332211\n"
         "CAN status   00000001\nDT2 indexed  00000005\n", nullptr},
        {"--virtual Trelo-06 mcu watch --for 1ms", 3, "", "halvexctl: Trelo-06 has no MCU event receiver\n"},
        // DIO: ranges named by the model's family; the demo walks an active input.
        {"--virtual Trelo-11 board di 3=1", 0, "inputs:  0=0 1=0 2=0 3=1 4=0", nullptr},
        {"--virtual Trelo-11 di read 3 16", 2, "", "no input line '16': Trelo-11 (DIO family D7) has input lines 0..15"},
        {"--virtual Trelo-05 do port 0x100", 2, "", "8 bits: Trelo-05 (DIO family D4) has output lines 0..7"},
        {"--virtual Trelo-01 do write 2=on 8=on", 2, "", "'8=on' is not LINE=on|off: Trelo-01 (DIO family D1)"},
        {"--virtual Trelo-09 di read", 3, "", "halvexctl: Trelo-09 has no digital I/O\n"},
        {"--virtual Ondra-01 do port 1", 3, "", "one line at a time: use 'do write'"},
        {"--virtual Trelo-03 di monitor --demo --for 500ms", 0, " falling 0\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ProcessResult r = RunCommand(std::string(HX_HALVEXCTL) + " " + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        if (c.err) {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
    }
}

}  // namespace
}  // namespace hx::test
