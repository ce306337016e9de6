// Every child this test binary starts (halvexctl --virtual, the virtual
// library in a probe) runs on shared virtual machines of this process's own
// board name, so that parallel test processes never meet, with the manual
// clock, so that board times are exact. They are destroyed after each test:
// the next test starts with none, as in a process of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "halvex32_service.h"

namespace hx::test {
namespace {

void DestroyMachines() {
    for (std::size_t i = 0; const char* model = service::VirtualModel(i); ++i) service::DestroySharedVirtualBoard(model);
}

class AfterEachTest : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override { DestroyMachines(); }
};

class OwnMachines : public ::testing::Environment {
public:
    OwnMachines() {
        setenv("HALVEX_VIRTUAL_BOARD", ("unit-" + std::to_string(getpid())).c_str(), 1);
        setenv("HALVEX_VIRTUAL_CLOCK", "manual", 1);
    }
    void SetUp() override { ::testing::UnitTest::GetInstance()->listeners().Append(new AfterEachTest); }
    void TearDown() override { DestroyMachines(); }
};

[[maybe_unused]] ::testing::Environment* const g_ownMachines = ::testing::AddGlobalTestEnvironment(new OwnMachines);

}  // namespace
}  // namespace hx::test
