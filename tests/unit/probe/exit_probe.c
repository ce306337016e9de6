/* Arms the watchdog of the virtual board through the library and ends the
 * way the second argument says: "return" from main, "exit", "dlclose" (then
 * return), "kill" (SIGKILL to itself). Prints the handlers the library left
 * installed: the signals whose disposition changed across dlopen and arming.
 * Usage: exit_probe LIBRARY return|exit|dlclose|kill */
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "halvex32.h"

#define RESOLVE(handle, name) ((__typeof__(&name))dlsym(handle, #name))

static const int kWatched[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGABRT, SIGPIPE, SIGCHLD, SIGUSR1};
enum { kWatchedCount = sizeof kWatched / sizeof kWatched[0] };

static void Dispositions(struct sigaction *out) {
    for (int i = 0; i < kWatchedCount; ++i) sigaction(kWatched[i], NULL, &out[i]);
}

int main(int argc, char **argv) {
    if (argc != 3) return 2;
    struct sigaction before[kWatchedCount], after[kWatchedCount];
    Dispositions(before);
    void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) return 3;
    RESOLVE(lib, InitWDT)();
    const int armed = RESOLVE(lib, SetWDT)(5, 1) && RESOLVE(lib, StartWDT)();
    Dispositions(after);
    int changed = 0;
    for (int i = 0; i < kWatchedCount; ++i) changed += before[i].sa_handler != after[i].sa_handler;
    printf("armed=%d handlers=%d\n", armed, changed);
    fflush(stdout);
    if (strcmp(argv[2], "exit") == 0) exit(0);
    if (strcmp(argv[2], "kill") == 0) raise(SIGKILL);
    if (strcmp(argv[2], "dlclose") == 0) dlclose(lib);
    return 0;
}
