// The allocation counter sees an allocation made inside the library object, also one made for it by
// libstdc++, and puts glibc's thread vector in its own class; it does not count the test's own
// allocations, nor those of a callback the library calls; an allocation of the library's constructor
// counts as one at load. Run with HX_HEAP_PROBE_AT_LOAD=1 (the ctest does). Exit status 0 when all hold.
#include <cstdio>
#include <cstdlib>

extern "C" {
unsigned long hx_heap_count(int which);  // alloc_counter.cpp: 0 library, 1 load, 2 thread
void hx_heap_probe_malloc();             // probe_hook.cpp, inside libhx_counted.so
void hx_heap_probe_new();
void hx_heap_probe_callback(void (*callback)());
void hx_heap_probe_thread();
}

namespace {

void* volatile g_keep;

void AllocateHere() {
    g_keep = std::malloc(24);
    std::free(g_keep);
}

void CallbackAllocates() { hx_heap_probe_callback(AllocateHere); }

struct Row {
    const char* what;
    void (*run)();
    unsigned long library, thread;  // the counts it adds
};

constexpr Row kRows[] = {
    {"malloc in the library", hx_heap_probe_malloc, 1, 0},
    {"operator new[] in the library (malloc called by libstdc++)", hx_heap_probe_new, 1, 0},
    {"malloc in the test", AllocateHere, 0, 0},
    {"malloc in a callback the library calls", CallbackAllocates, 0, 0},
    {"pthread_create in the library (the first thread: its TLS vector)", hx_heap_probe_thread, 0, 1},
};

}  // namespace

int main() {
    const bool atLoad = hx_heap_count(1) == 1 && hx_heap_count(0) == 0;
    std::printf("%s: malloc in the library's constructor counts at load (load %lu, library %lu; expected 1, 0)\n",
                atLoad ? "ok" : "FAILED", hx_heap_count(1), hx_heap_count(0));
    int failed = atLoad ? 0 : 1;
    for (const Row& row : kRows) {
        const unsigned long library = hx_heap_count(0), thread = hx_heap_count(2);
        row.run();
        const unsigned long dl = hx_heap_count(0) - library, dt = hx_heap_count(2) - thread;
        const bool ok = dl == row.library && dt == row.thread;
        std::printf("%s: %s (library +%lu, thread +%lu; expected +%lu, +%lu)\n", ok ? "ok" : "FAILED", row.what, dl, dt,
                    row.library, row.thread);
        failed += ok ? 0 : 1;
    }
    return failed == 0 ? 0 : 1;
}
