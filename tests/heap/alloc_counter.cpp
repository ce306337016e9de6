// Allocation counter of the heap-count build: interposes malloc, calloc, realloc, aligned_alloc,
// posix_memalign, memalign, valloc and pvalloc (operator new and the C runtime come through these),
// forwards each to glibc's own allocator and attributes it by the call stack. Loaded with LD_PRELOAD
// (`ctest --preset heap`, tests/heap/run.sh) or linked first (hx_heap_self_test, hx_heap_bench).
//
// Attribution, per allocation: walk the stack from the innermost frame outwards, skip the frames of the
// C/C++ runtime (libc, libstdc++, libgcc_s, libm, the dynamic loader, this counter); the first frame
// left decides. It counts only when that frame belongs to the library: libhx_counted.so (the library
// objects of this build), libhalvex32.so or libhalvex32-virtual.so (the shipped objects, loaded by the
// C probe; the virtual one holds the virtual board and is counted whole, the stricter rule). So a
// callback of the library that allocates in test code is the test's allocation, and the allocations
// the runtime makes inside a library call (a std::string, fopen, opendir, qsort) are the library's.
// A counted allocation is put in one of three classes:
//   load    - the dynamic loader is further out on the stack: the library's constructors at load and
//             its destructors at dlclose (those run by exit() count as library). Reported, allowed.
//   thread  - the runtime frame the library called is pthread_create: glibc's per-thread TLS vector,
//             which no thread is created without. It is the runtime's, bounded by the library's
//             fixed thread slots and reused with the cached stacks. Reported, allowed.
//   library - everything else: the library used the heap after load. Must be 0.
// Limit: a library function that tail-calls an allocating runtime function leaves no frame of its own.
//
// Records: with HX_HEAP_DIR set, each process appends to $HX_HEAP_DIR/<pid>.txt a line with the stack
// of each of its first kStacksKept counted allocations ("library ..", "load ..", "thread .."), as
// object+offset (addr2line -e <object> <offset>), and at exit one line "exit library=N load=N
// thread=N total=N <command line>". A forked child that ends with _exit leaves only its stack lines.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void* __libc_pvalloc(size_t);
}

namespace {

enum Object { kOther, kRuntime, kLoader, kCounted };
enum Class { kLibrary, kLoad, kThread, kTotal, kClasses };
constexpr const char* kClassNames[] = {"library", "load", "thread", "total"};
constexpr int kMaxFrames = 64;
constexpr int kStacksKept = 8;
constexpr const char* kRuntimeNames[] = {"libc.so", "libstdc++.so", "libgcc_s.so", "libm.so", "linux-vdso"};
constexpr const char* kCountedNames[] = {"libhx_counted.so", "libhalvex32.so", "libhalvex32-virtual.so"};

std::atomic<unsigned long> g_counts[kClasses];
std::atomic<int> g_stacksWritten{0};
__attribute__((tls_model("initial-exec"))) thread_local bool t_inside = false;

bool Starts(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// The object `ip` lies in, by glibc's _dl_find_object: no lock, so no wait on a dlopen in progress.
Object Classify(void* ip) {
    static const link_map* const self = [] {
        dl_find_object found;
        return _dl_find_object(reinterpret_cast<void*>(&Classify), &found) == 0 ? found.dlfo_link_map : nullptr;
    }();
    dl_find_object found;
    if (_dl_find_object(ip, &found) != 0 || !found.dlfo_link_map) return kOther;
    if (found.dlfo_link_map == self) return kRuntime;
    const char* name = found.dlfo_link_map->l_name;
    const char* slash = std::strrchr(name, '/');
    const char* base = slash ? slash + 1 : name;
    if (Starts(base, "ld-linux")) return kLoader;
    for (const char* n : kRuntimeNames) if (Starts(base, n)) return kRuntime;
    for (const char* n : kCountedNames) if (Starts(base, n)) return kCounted;
    return kOther;
}

// The exported function `ip` lies in, or "?" (only for the records: dladdr takes the loader's lock).
const char* FunctionName(void* ip, Dl_info* info) {
    return dladdr(ip, info) && info->dli_sname ? info->dli_sname : "?";
}

struct Walk {
    void* ips[kMaxFrames];
    int count = 0;
};

_Unwind_Reason_Code Collect(_Unwind_Context* context, void* arg) {
    Walk* w = static_cast<Walk*>(arg);
    const _Unwind_Ptr ip = _Unwind_GetIP(context);
    if (w->count == kMaxFrames || ip == 0) return _URC_END_OF_STACK;
    // The return address less one lies inside the calling instruction, hence in the caller's function.
    w->ips[w->count++] = reinterpret_cast<void*>(ip - 1);
    return _URC_NO_REASON;
}

void Append(const char* text, int length) {
    const char* dir = std::getenv("HX_HEAP_DIR");
    if (!dir || !*dir || length <= 0) return;
    char path[512];
    std::snprintf(path, sizeof path, "%s/%ld.txt", dir, static_cast<long>(getpid()));
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    (void)!write(fd, text, static_cast<size_t>(length));
    close(fd);
}

int CommandLine(char* out, int capacity) {
    const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const ssize_t n = read(fd, out, static_cast<size_t>(capacity - 1));
    close(fd);
    const int length = n > 0 ? static_cast<int>(n) : 0;
    for (int i = 0; i < length; ++i) if (out[i] == '\0') out[i] = ' ';
    out[length] = '\0';
    return length;
}

void WriteStack(Class c, size_t size, const Walk& w, int from) {
    if (g_stacksWritten.fetch_add(1) >= kStacksKept) return;
    char line[4096];
    int at = std::snprintf(line, sizeof line, "%s size=%zu\n", kClassNames[c], size);
    for (int i = from; i < w.count && at < static_cast<int>(sizeof line) - 256; ++i) {
        Dl_info info{};
        const char* function = FunctionName(w.ips[i], &info);
        const char* object = info.dli_fname ? info.dli_fname : "?";
        const unsigned long offset = static_cast<unsigned long>(static_cast<char*>(w.ips[i]) -
                                                                static_cast<char*>(info.dli_fbase));
        at += std::snprintf(line + at, sizeof line - at, "  %s+0x%lx %s\n", object, offset, function);
    }
    Append(line, at);
}

// Walks the stack of an allocation of `size` bytes and counts it in its class.
void Count(size_t size) {
    g_counts[kTotal].fetch_add(1, std::memory_order_relaxed);
    if (t_inside) return;  // the walk's own allocations (none expected from the unwinder)
    t_inside = true;
    Walk w;
    _Unwind_Backtrace(Collect, &w);
    int i = 0;
    Object innermost = kOther;
    for (; i < w.count; ++i) {
        innermost = Classify(w.ips[i]);
        if (innermost != kRuntime && innermost != kLoader) break;
    }
    if (i < w.count && innermost == kCounted) {
        Class c = kLibrary;
        for (int j = i + 1; j < w.count; ++j) if (Classify(w.ips[j]) == kLoader) c = kLoad;
        if (c == kLibrary && i > 0) {
            Dl_info called{};
            if (Starts(FunctionName(w.ips[i - 1], &called), "pthread_create")) c = kThread;
        }
        g_counts[c].fetch_add(1);
        WriteStack(c, size, w, 1);
    }
    t_inside = false;
}

__attribute__((destructor)) void WriteTotals() {
    t_inside = true;
    char line[4096];
    int at = std::snprintf(line, sizeof line, "exit");
    for (int c = 0; c < kClasses; ++c) at += std::snprintf(line + at, sizeof line - at, " %s=%lu", kClassNames[c],
                                                           g_counts[c].load());
    line[at++] = ' ';
    at += CommandLine(line + at, static_cast<int>(sizeof line) - at - 1);
    line[at++] = '\n';
    Append(line, at);
}

}  // namespace

extern "C" {

// For the self-test and the benchmark: the count of one class (0 library, 1 load, 2 thread, 3 all).
__attribute__((visibility("default"))) unsigned long hx_heap_count(int which) {
    return which >= 0 && which < kClasses ? g_counts[which].load() : 0;
}

__attribute__((visibility("default"))) void* malloc(size_t n) {
    Count(n);
    return __libc_malloc(n);
}
__attribute__((visibility("default"))) void* calloc(size_t n, size_t size) {
    Count(n * size);
    return __libc_calloc(n, size);
}
__attribute__((visibility("default"))) void* realloc(void* p, size_t n) {
    if (n != 0) Count(n);
    return __libc_realloc(p, n);
}
__attribute__((visibility("default"))) void* memalign(size_t align, size_t n) {
    Count(n);
    return __libc_memalign(align, n);
}
// The same allocation as memalign's (glibc's own aligned_alloc is an alias of it too).
__attribute__((visibility("default"), alias("memalign"))) void* aligned_alloc(size_t align, size_t n);
__attribute__((visibility("default"))) int posix_memalign(void** out, size_t align, size_t n) {
    if (align < sizeof(void*) || (align & (align - 1)) != 0) return EINVAL;
    Count(n);
    void* p = __libc_memalign(align, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
__attribute__((visibility("default"))) void* valloc(size_t n) {
    Count(n);
    return __libc_valloc(n);
}
__attribute__((visibility("default"))) void* pvalloc(size_t n) {
    Count(n);
    return __libc_pvalloc(n);
}

}  // extern "C"
