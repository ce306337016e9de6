// The built shared objects, loaded with dlopen by a separate C program.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "process_util.h"

namespace hx::test {
namespace {

std::map<std::string, std::string> Results(const std::string& out) {
    std::map<std::string, std::string> m;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return m;
}

// What an inert library answers: every forwarding export its default, the
// own bodies their fixed results.
const std::map<std::string, std::string> kInert = {
    {"SetWDT", "0"},          {"InitWDT", "0"},          {"InitDIO", "0"},
    {"DIReadPort", "0"},      {"DIReadLine", "0"},       {"GetStatusPoEPort", "0"},
    {"PCI_EnablePoEPort", "0"}, {"MCU_GetVersion", "0"}, {"ADC_GetData", "0"},
    {"StartDICOS", "0"},      {"DT2_StPull", "0"},       {"RegisterCallbackDICOS", "1"},
    {"CAN_RegisterReceived1", "0"}, {"GetUnitDTIO", "0"}, {"RegisterWinIOService", "0"},
    {"StopDIO", "1"},         {"threads_left", "0"},
};

TEST(LibraryLoad, NativeLibraryWithoutHardwareAccessSaysSoOnceAndAnswersDefaults) {
    const ProcessResult r = RunCommand(std::string(HX_LOAD_PROBE) + " " + HX_NATIVE_LIBRARY);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("hardware access unavailable"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("run as root on the board"), std::string::npos) << r.err;
    EXPECT_EQ(Results(r.out), kInert);
}

TEST(LibraryLoad, VirtualLibraryRefusingAccessAnswersDefaults) {
    const ProcessResult r =
        RunCommand(std::string("HALVEX_VIRTUAL_NO_ACCESS=1 ") + HX_LOAD_PROBE + " " + HX_VIRTUAL_LIBRARY);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_EQ(Results(r.out), kInert);
}

TEST(LibraryLoad, VirtualLibraryLoadsQuietlyOnEveryModelName) {
    for (const char* model : {"Trelo-05", "Trelo-11", "Vexa-06", ""}) {
        SCOPED_TRACE(model);
        const ProcessResult r =
            RunCommand(std::string("HALVEX_VIRTUAL_MODEL='") + model + "' " + HX_LOAD_PROBE + " " + HX_VIRTUAL_LIBRARY);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const auto results = Results(r.out);
        EXPECT_EQ(results.at("RegisterCallbackDICOS"), "1");
        EXPECT_EQ(results.at("StopDIO"), "1");
        EXPECT_EQ(results.at("DT2_StPull"), "0");
#ifndef __SANITIZE_THREAD__  // ThreadSanitizer starts a thread of its own with the library's first thread
        EXPECT_EQ(results.at("threads_left"), "0");  // after dlclose, with DICOS started and the links up
#endif
    }
}

TEST(LibraryLoad, VirtualLibraryWarnsOnAnUnknownModelAndUsesTheDefault) {
    const ProcessResult r =
        RunCommand(std::string("HALVEX_VIRTUAL_MODEL=NoSuchBoard ") + HX_LOAD_PROBE + " " + HX_VIRTUAL_LIBRARY);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CountLines(r.err), 1);
    EXPECT_NE(r.err.find("unknown virtual board model"), std::string::npos) << r.err;
}

// Each feature's status line is read through its exports from the board at rest.
TEST(Halvexctl, InfoOnTheVirtualBoardNamesModelFamiliesStatusAndCard) {
    const ProcessResult r = RunCommand(std::string(HX_HALVEXCTL) + " --virtual Trelo-11 info");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* text : {"model:           Trelo-11", "hardware access: open", "WDT        W3   stopped",
                             "DIO        D7   16 inputs, 16 outputs", "ADC        -\n", "init       I3",
                             "IGN        G3   state 0x1, battery 12.00 V", "MCU        V1   firmware version 0x00010203",
                             "QEI        Q1   channel 0 at position 0", "PoE        P4   1:off 2:off",
                             "CAN        N1   bit timing words 500000, 875", "expansion card:  none"}) {
        EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;
    }
}

TEST(Halvexctl, ErrorsAreOneLineAndNonZero) {
    const ProcessResult r = RunCommand(std::string(HX_HALVEXCTL) + " --virtual Nope-99 info");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("Nope-99"), std::string::npos);
}

}  // namespace
}  // namespace hx::test
