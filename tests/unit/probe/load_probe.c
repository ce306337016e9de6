/* Loads a Halvex32 library with dlopen, calls exports through dlsym and
 * prints "name=value" per call. Written in C: it also proves that the public
 * header is usable from C. Usage: load_probe LIBRARY */
#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>

#include "halvex32.h"

#define RESOLVE(handle, name) ((__typeof__(&name))dlsym(handle, #name))

static void HX_CALLBACK OnDicos(DiEventRecord *event) { (void)event; }

/* The threads of this process, as /proc lists them. */
static int CountThreads(void) {
    DIR *dir = opendir("/proc/self/task");
    int n = 0;
    if (!dir) return -1;
    for (struct dirent *e; (e = readdir(dir)) != NULL;) n += e->d_name[0] != '.';
    closedir(dir);
    return n;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: load_probe LIBRARY\n");
        return 2;
    }
    const int threadsBefore = CountThreads();
    void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 2;
    }
    uint32_t word = 0;
    double volts = 0;
    printf("SetWDT=%d\n", RESOLVE(lib, SetWDT)(10, 1));
    printf("InitWDT=%d\n", RESOLVE(lib, InitWDT)());
    printf("InitDIO=%d\n", RESOLVE(lib, InitDIO)());
    printf("DIReadPort=%u\n", (unsigned)RESOLVE(lib, DIReadPort)());
    printf("DIReadLine=%u\n", (unsigned)RESOLVE(lib, DIReadLine)(0));
    RESOLVE(lib, DOWriteLine)(0, 1);
    printf("GetStatusPoEPort=%u\n", (unsigned)RESOLVE(lib, GetStatusPoEPort)(1));
    printf("PCI_EnablePoEPort=%d\n", RESOLVE(lib, PCI_EnablePoEPort)(0, 1));
    printf("MCU_GetVersion=%d\n", RESOLVE(lib, MCU_GetVersion)(&word));
    printf("ADC_GetData=%d\n", RESOLVE(lib, ADC_GetData)(0, &volts));
    printf("StartDICOS=%d\n", RESOLVE(lib, StartDICOS)());
    printf("DT2_StPull=%d\n", RESOLVE(lib, DT2_StPull)(NULL));
    printf("RegisterCallbackDICOS=%d\n", RESOLVE(lib, RegisterCallbackDICOS)(OnDicos));
    printf("CAN_RegisterReceived1=%d\n", RESOLVE(lib, CAN_RegisterReceived)(1, NULL));
    printf("GetUnitDTIO=%u\n", (unsigned)RESOLVE(lib, GetUnitDTIO)());
    printf("RegisterWinIOService=%u\n", RESOLVE(lib, RegisterWinIOService)());
    printf("StopDIO=%d\n", RESOLVE(lib, StopDIO)());
    fflush(stdout);
    dlclose(lib);
    /* A thread of the library left running would run unmapped code. */
    printf("threads_left=%d\n", CountThreads() - threadsBefore);
    return 0;
}
