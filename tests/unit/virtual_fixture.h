// Test fixture: the library core loaded on a fresh virtual board, the way the
// virtual build's constructor loads it, with shared words of its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "frame/lifecycle.h"
#include "core/state.h"
#include "os/posix/named_objects_posix.h"
#include "os/posix/shared_words_posix.h"
#include "sim/posix/link_host.h"
#include "sim/virtual_board.h"

namespace hx::test {

// A name no other test process uses, so parallel tests never share words.
inline std::string PrivateSharedName(const char* tag = "") {
    return "/halvex32-test-" + std::to_string(getpid()) + tag;
}

inline std::vector<sim::Access> Log() {
    const sim::AccessLogState& log = sim::TheBoardState().log;
    return {log.entries, log.entries + log.count};
}

inline std::vector<sim::Access> LogOf(sim::AccessKind kind) {
    std::vector<sim::Access> out;
    for (const sim::Access& a : Log()) {
        if (a.kind == kind) out.push_back(a);
    }
    return out;
}

class VirtualBoardTest : public ::testing::Test {
protected:
    // Sets up `model` and loads; tests that need another board state call
    // SetUpBoard and Load themselves.
    void LoadModel(const char* model) {
        sim::StopBoardLinks();  // a link host of the board before must not see this one set up
        ASSERT_TRUE(sim::SetUpBoard(model)) << model;
        Load();
    }
    bool Load() {
        UseBackend(sim::VirtualBackend());
        loaded_ = true;
        return ProcessAttach();
    }
    void Unload() {
        if (loaded_) ProcessDetach();
        loaded_ = false;
    }
    void SetUp() override {
        shmName_ = PrivateSharedName();
        os::SetSharedWordsName(shmName_.c_str());
        linkName_ = PrivateSharedName("-link");
        os::SetSharedLinkName(linkName_.c_str());
    }
    // The link host (started by a test or on demand by a port search) ends
    // with its test, so the next SetUpBoard's fresh state, counters included,
    // is not written to by a line of an earlier test.
    void TearDown() override {
        Unload();
        sim::StopBoardLinks();
        shm_unlink(shmName_.c_str());
        shm_unlink(linkName_.c_str());
    }
    const char* CurrentKey() const {
        const PlatformOps* p = CurrentPlatform.load();
        return p ? p->modelKey : "(none)";
    }

    std::string shmName_;
    std::string linkName_;
    bool loaded_ = false;
};

}  // namespace hx::test
