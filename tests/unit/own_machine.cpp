// Every child this test binary starts (halvexctl --virtual, the virtual
// library in a probe) runs on shared virtual machines of this process's own
// board name, so that parallel test processes never meet, with the manual
// clock, so that board times are exact. They are destroyed at the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "halvex32_service.h"

namespace hx::test {
namespace {

class OwnMachines : public ::testing::Environment {
public:
    OwnMachines() {
        setenv("HALVEX_VIRTUAL_BOARD", ("unit-" + std::to_string(getpid())).c_str(), 1);
        setenv("HALVEX_VIRTUAL_CLOCK", "manual", 1);
    }
    void TearDown() override {
        for (std::size_t i = 0; const char* model = service::VirtualModel(i); ++i) service::DestroySharedVirtualBoard(model);
    }
};

[[maybe_unused]] ::testing::Environment* const g_ownMachines = ::testing::AddGlobalTestEnvironment(new OwnMachines);

}  // namespace
}  // namespace hx::test
