/* PoE port cycler: switches the power of PoE port PORT off and on again
 * COUNT times (a hard restart of the powered device), OFF milliseconds off
 * and ON milliseconds on, and checks after each switch that the port followed.
 *
 *   poe_cycle PORT COUNT [OFF [ON]]
 */
#define _POSIX_C_SOURCE 200809L
#include <halvex32.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

enum { PORT_OFF = 0, PORT_ON = 1 };

static void sleep_ms(unsigned long ms) {
    struct timespec t = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

/* One switch of the port, then its status read back; 0 when either fails. */
static int switch_port(uint8_t port, int on) {
    if (!(on ? EnablePoEPort(port) : DisablePoEPort(port))) {
        fprintf(stderr, "%sPoEPort(%u) failed (is it a PoE port of this model?)\n", on ? "Enable" : "Disable", port);
        return 0;
    }
    uint8_t status = GetStatusPoEPort(port);
    if (status != (on ? PORT_ON : PORT_OFF)) {
        fprintf(stderr, "port %u reads %s after switching it %s\n", port, status ? "on" : "off", on ? "on" : "off");
        return 0;
    }
    return 1;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s PORT COUNT [OFF [ON]]\n", argv[0]);
        return 2;
    }
    unsigned long port = strtoul(argv[1], NULL, 0), count = strtoul(argv[2], NULL, 0);
    unsigned long off_ms = argc > 3 ? strtoul(argv[3], NULL, 0) : 1000;
    unsigned long on_ms = argc > 4 ? strtoul(argv[4], NULL, 0) : 5000;
    if (port < 1 || port > 255) {
        fprintf(stderr, "PORT counts from 1\n");
        return 2;
    }
    printf("port %lu is %s\n", port, GetStatusPoEPort((uint8_t)port) ? "on" : "off");
    for (unsigned long cycle = 1; cycle <= count; ++cycle) {
        if (!switch_port((uint8_t)port, 0)) return 1;
        sleep_ms(off_ms);
        if (!switch_port((uint8_t)port, 1)) return 1;
        printf("cycle %lu: port %lu off for %lu ms, on again\n", cycle, port, off_ms);
        fflush(stdout);
        if (cycle < count) sleep_ms(on_ms);
    }
    return 0;
}
