// The shared words on POSIX: a small named shared-memory object. Every
// process that has the library loaded holds a shared flock on it for as long
// as it is loaded; a loader that can take the lock exclusively is alone, so
// it zeroes the words first. The kernel drops the locks of a killed process,
// so the words start at zero whenever no process has the library loaded.
#include "os/posix/shared_words_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "os/os.h"

namespace hx::os {
namespace {

constexpr char kDefaultName[] = "/halvex32.shared";
constexpr std::size_t kNameMax = 64;
constexpr mode_t kAllUsers = 0666;

char g_name[kNameMax] = "/halvex32.shared";
int g_fd = -1;
SharedWords* g_words = nullptr;

bool ZeroIfAlone(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
    // Alone: whatever a dead process left behind is discarded.
    const bool ok = ftruncate(fd, 0) == 0 && ftruncate(fd, sizeof(SharedWords)) == 0;
    return ok;
}

}  // namespace

void SetSharedWordsName(const char* name) {
    std::strncpy(g_name, name ? name : kDefaultName, kNameMax - 1);
    g_name[kNameMax - 1] = '\0';
}

const char* SharedWordsName() { return g_name; }

SharedWords* AttachSharedWords() {
    if (g_words) return g_words;
    const mode_t old = umask(0);
    const int fd = shm_open(g_name, O_RDWR | O_CREAT | O_CLOEXEC, kAllUsers);
    umask(old);
    if (fd < 0) return nullptr;
    ZeroIfAlone(fd);
    // Converting an exclusive lock to shared, or waiting while another loader
    // zeroes the words, ends with every loader holding the lock shared.
    struct stat st {};
    if (flock(fd, LOCK_SH) != 0 || fstat(fd, &st) != 0 ||
        (st.st_size < static_cast<off_t>(sizeof(SharedWords)) && ftruncate(fd, sizeof(SharedWords)) != 0)) {
        ::close(fd);
        return nullptr;
    }
    void* map = mmap(nullptr, sizeof(SharedWords), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    g_fd = fd;
    g_words = static_cast<SharedWords*>(map);
    return g_words;
}

void DetachSharedWords() {
    if (g_words) munmap(g_words, sizeof(SharedWords));
    if (g_fd >= 0) ::close(g_fd);  // drops this process's lock
    g_words = nullptr;
    g_fd = -1;
}

}  // namespace hx::os
