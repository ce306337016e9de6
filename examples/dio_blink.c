/* DIO blink and input monitor: turns output LINE on and off COUNT times,
 * PERIOD milliseconds a cycle, and prints every change of the inputs
 * (polled every 10 ms) while it runs.
 *
 *   dio_blink LINE COUNT [PERIOD]
 */
#define _POSIX_C_SOURCE 200809L
#include <halvex32.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

enum { LINES = 16, POLL_MS = 10 };

static void sleep_ms(unsigned ms) {
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

/* Prints the lines that differ between two reads of the input port. */
static void report(uint16_t before, uint16_t now, unsigned elapsed_ms) {
    for (unsigned line = 0; line < LINES; ++line) {
        uint16_t bit = (uint16_t)(1u << line);
        if ((before ^ now) & bit) printf("%6u ms  DI %u %s\n", elapsed_ms, line, now & bit ? "on" : "off");
    }
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s LINE COUNT [PERIOD]\n", argv[0]);
        return 2;
    }
    unsigned long line = strtoul(argv[1], NULL, 0), count = strtoul(argv[2], NULL, 0);
    unsigned long period = argc > 3 ? strtoul(argv[3], NULL, 0) : 1000;
    if (line >= LINES || period < 2 * POLL_MS) {
        fprintf(stderr, "LINE is 0..%d, PERIOD at least %d ms\n", LINES - 1, 2 * POLL_MS);
        return 2;
    }
    if (!InitDIO()) {
        fprintf(stderr, "InitDIO failed (does this model have DIO?)\n");
        return 1;
    }
    uint16_t inputs = DIReadPort();
    printf("inputs %04Xh\n", inputs);
    unsigned elapsed = 0;
    for (unsigned long cycle = 0; cycle < count; ++cycle) {
        for (unsigned half = 0; half < 2; ++half) {
            unsigned level = half == 0; /* on, then off */
            DOWriteLineChecked((uint8_t)line, level);
            printf("%6u ms  DO %lu %s\n", elapsed, line, level ? "on" : "off");
            for (unsigned waited = 0; waited < period / 2; waited += POLL_MS, elapsed += POLL_MS) {
                sleep_ms(POLL_MS);
                uint16_t now = DIReadPort();
                report(inputs, now, elapsed);
                inputs = now;
            }
        }
    }
    fflush(stdout);
    return 0;
}
