// The shared words on POSIX: a System V segment that a small named
// shared-memory object names (os/posix/shared_segment_posix.h). Every process
// that has the library loaded holds a shared flock on the named object and
// has the segment attached for as long as it is loaded; a loader that can
// take the lock exclusively is alone, so it makes a fresh zeroed segment,
// which goes away with the last process that has it attached. The kernel
// drops the locks and attachments of a killed process, so the words start at
// zero whenever no process has the library loaded. A process that finds the
// named object cut short or written over while others hold it works with
// words of its own (the core's process-local words).
#include "os/posix/shared_words_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "os/os.h"
#include "os/posix/shared_segment_posix.h"

namespace hx::os {
namespace {

constexpr char kDefaultName[] = "/halvex32.shared";
constexpr std::size_t kNameMax = 64;
constexpr mode_t kAllUsers = 0666;

char g_name[kNameMax] = "/halvex32.shared";
int g_fd = -1;
SharedWords* g_words = nullptr;

// Alone: whatever a dead process left behind is discarded. The new segment
// stays attached (and so alive) while the lock goes from exclusive to shared.
void* FreshIfAlone(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return nullptr;
    const int id = NewRecordedSegment(fd, sizeof(SharedWords), kAllUsers);
    void* words = id >= 0 ? AttachSegment(id) : nullptr;
    RemoveSegmentWhenUnused(id);
    return words;
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
    void* words = FreshIfAlone(fd);
    // Converting an exclusive lock to shared, or waiting while another loader
    // makes the segment, ends with every loader holding the lock shared.
    if (flock(fd, LOCK_SH) != 0) {
        DetachSegment(words);
        ::close(fd);
        return nullptr;
    }
    if (!words) words = AttachSegment(RecordedSegment(fd, sizeof(SharedWords), kAllUsers));
    if (!words) {
        ::close(fd);
        return nullptr;
    }
    g_fd = fd;
    g_words = static_cast<SharedWords*>(words);
    return g_words;
}

void DetachSharedWords() {
    DetachSegment(g_words);
    if (g_fd >= 0) ::close(g_fd);  // drops this process's lock
    g_words = nullptr;
    g_fd = -1;
}

}  // namespace hx::os
