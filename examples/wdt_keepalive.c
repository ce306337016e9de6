/* Watchdog keep-alive service: arms the watchdog with TIMEOUT seconds, kicks
 * it every INTERVAL seconds and stops it on SIGINT or SIGTERM, or after COUNT
 * kicks (0: until a signal). Should the program hang or die, the watchdog
 * resets the machine once TIMEOUT has passed without a kick.
 *
 *   wdt_keepalive TIMEOUT INTERVAL [COUNT]
 */
#define _POSIX_C_SOURCE 200809L
#include <halvex32.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

enum { UNIT_SECONDS = 1, MAX_COUNT = 65535 }; /* SetWDT takes a 16-bit count */

static volatile sig_atomic_t stop_requested;

static void on_signal(int signo) {
    (void)signo;
    stop_requested = 1;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s TIMEOUT INTERVAL [COUNT]\n", argv[0]);
        return 2;
    }
    unsigned long timeout = strtoul(argv[1], NULL, 0), interval = strtoul(argv[2], NULL, 0);
    unsigned long count = argc > 3 ? strtoul(argv[3], NULL, 0) : 0;
    if (timeout == 0 || timeout > MAX_COUNT || interval == 0 || interval >= timeout) {
        fprintf(stderr, "need 0 < INTERVAL < TIMEOUT <= %d seconds\n", MAX_COUNT);
        return 2;
    }
    struct sigaction action = {0};
    action.sa_handler = on_signal; /* no SA_RESTART: a signal ends sleep() */
    sigaction(SIGINT, &action, NULL);
    sigaction(SIGTERM, &action, NULL);

    /* InitWDT before SetWDT: the first call on the machine sets the chip up
     * (and the time-out to its default), later ones return 1 at once. */
    if (!InitWDT() || !SetWDT((uint16_t)timeout, UNIT_SECONDS) || !StartWDT()) {
        fprintf(stderr, "cannot arm the watchdog (does this model have one?)\n");
        return 1;
    }
    printf("watchdog armed: %lu s, kicking every %lu s\n", timeout, interval);
    fflush(stdout);
    int rc = 0;
    unsigned long kicks = 0;
    while (!stop_requested && (count == 0 || kicks < count)) {
        sleep((unsigned)interval);
        if (stop_requested) break;
        if (!ResetWDT()) {
            fprintf(stderr, "ResetWDT failed\n");
            rc = 1;
            break;
        }
        ++kicks;
    }
    if (!StopWDT()) {
        fprintf(stderr, "StopWDT failed: the watchdog still runs\n");
        rc = 1;
    }
    printf("watchdog stopped after %lu kicks\n", kicks);
    return rc;
}
