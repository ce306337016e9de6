// Test-only, compiled into libhx_counted.so of the heap-count build and nowhere else: allocations made
// from inside the counted library object on request, so the allocation counter's self-test can show
// that it sees them (and that it does not count a callback's).
#include <pthread.h>

#include <cstdlib>

extern "C" {

void* volatile g_hxHeapProbeKeep;  // the allocation escapes: the compiler may not drop it

void hx_heap_probe_malloc() {
    void* p = std::malloc(24);
    g_hxHeapProbeKeep = p;
    std::free(p);
}

void hx_heap_probe_new() {
    int* p = new int[6];
    g_hxHeapProbeKeep = p;
    delete[] p;
}

void hx_heap_probe_callback(void (*callback)()) {
    callback();
    g_hxHeapProbeKeep = nullptr;
}

static void* Idle(void*) { return nullptr; }

// An allocation in the library's constructor, that is at load, when HX_HEAP_PROBE_AT_LOAD is set.
__attribute__((constructor)) static void AllocateAtLoad() {
    if (std::getenv("HX_HEAP_PROBE_AT_LOAD")) hx_heap_probe_malloc();
}

void hx_heap_probe_thread() {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, Idle, nullptr) == 0) pthread_join(thread, nullptr);
    g_hxHeapProbeKeep = nullptr;
}

}  // extern "C"
