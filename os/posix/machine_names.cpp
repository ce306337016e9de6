#include "os/posix/machine_names.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>

#include "os/posix/named_objects_posix.h"
#include "os/posix/shared_words_posix.h"

namespace hx::os {
namespace {

constexpr std::size_t kNameMax = 160;
constexpr char kWordsSuffix[] = ".shared";
constexpr char kLinkSuffix[] = ".link";

char g_words[kNameMax];  // set while the names are this process's own
char g_link[kNameMax];

bool Portable(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

// Appends `part` to `out` at `*at`, each character outside the portable set as '_'.
void AppendPart(const char* part, std::size_t limit, char* out, std::size_t capacity, std::size_t* at) {
    for (std::size_t i = 0; part[i] && i < limit && *at + 1 < capacity; ++i) out[(*at)++] = Portable(part[i]) ? part[i] : '_';
    out[*at] = '\0';
}

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
    g_words[0] = g_link[0] = '\0';
}

bool MachineObjectName(const char* model, const char* board, const char* suffix, char* out, std::size_t capacity) {
    const int lead = std::snprintf(out, capacity, "/halvex32-vm-");
    if (lead < 0 || static_cast<std::size_t>(lead) >= capacity) return false;
    std::size_t at = static_cast<std::size_t>(lead);
    AppendPart(model, capacity, out, capacity, &at);
    AppendPart("-", 1, out, capacity, &at);
    AppendPart(board, kMachineBoardMax, out, capacity, &at);
    const int tail = std::snprintf(out + at, capacity - at, "%s", suffix);
    return tail >= 0 && at + static_cast<std::size_t>(tail) < capacity;
}

void UseMachineNames(const char* model, const char* board) {
    RemoveMachinePrivateNames();
    static char words[kNameMax];
    static char link[kNameMax];
    if (!MachineObjectName(model, board, kWordsSuffix, words, sizeof words) ||
        !MachineObjectName(model, board, kLinkSuffix, link, sizeof link)) {
        UseMachinePrivateNames();
        return;
    }
    SetSharedWordsName(words);
    SetSharedLinkName(link);
}

void RemoveMachineNames(const char* model, const char* board) {
    char name[kNameMax];
    for (const char* suffix : {kWordsSuffix, kLinkSuffix}) {
        if (MachineObjectName(model, board, suffix, name, sizeof name)) shm_unlink(name);
    }
}

}  // namespace hx::os
