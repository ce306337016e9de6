// halvexctl rows: the built tool run with each row's arguments; its exit
// code must match and `out` must stand somewhere in what it printed.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "tests/unit/process_util.h"

namespace hx::test {

struct HalvexctlRow {
    const char* args;
    int exitCode;
    const char* out;
};

inline void ExpectHalvexctlRows(std::initializer_list<HalvexctlRow> rows) {
    for (const HalvexctlRow& row : rows) {
        SCOPED_TRACE(row.args);
        const ProcessResult r = RunCommand(std::string(HX_HALVEXCTL) + " " + row.args);
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << r.out;
    }
}

}  // namespace hx::test
