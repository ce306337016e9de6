#include "os/posix/machine_names.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

#include "os/posix/named_objects_posix.h"
#include "os/posix/shared_words_posix.h"

namespace hx::os {
namespace {

constexpr std::size_t kNameMax = 48;
char g_words[kNameMax];
char g_link[kNameMax];

}  // namespace

void UseMachinePrivateNames() {
    const long pid = static_cast<long>(getpid());
    std::snprintf(g_words, sizeof g_words, "/halvex32-virtual-%ld.shared", pid);
    std::snprintf(g_link, sizeof g_link, "/halvex32-virtual-%ld.link", pid);
    SetSharedWordsName(g_words);
    SetSharedLinkName(g_link);
}

void RemoveMachinePrivateNames() {
    if (!g_words[0]) return;
    shm_unlink(g_words);
    shm_unlink(g_link);
}

}  // namespace hx::os
