/* CAN echo: every frame received on CAN port 0 goes back out with its id
 * plus one, until MAX frames were echoed or SECONDS have passed.
 * With "loopback" the controller also hands the program its own frames
 * (setup word 0, bit 0) and a first frame is sent, so the echo feeds itself:
 * a self-test that fails unless MAX frames went round.
 *
 *   can_echo SECONDS MAX [loopback]
 */
#define _POSIX_C_SOURCE 200809L
#include <halvex32.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

enum { PORT = 0, MODE_LOOPBACK = 1, FLAG_EXTENDED = 1, POLL_MS = 10 };
static const uint32_t STANDARD_IDS = 0x7FF, EXTENDED_IDS = 0x1FFFFFFF;

static atomic_ulong echoed, failures;
static unsigned long max_echoes;

/* Runs on the library's receive thread. */
static void HX_CALLBACK on_frame(CanMessage *frame, uint32_t size) {
    (void)size;
    if (atomic_load(&echoed) >= max_echoes) return;
    CanMessage reply = *frame;
    reply.id = (frame->id + 1) & (frame->flags & FLAG_EXTENDED ? EXTENDED_IDS : STANDARD_IDS);
    if (!CAN_Send(PORT, &reply, sizeof reply)) atomic_fetch_add(&failures, 1);
    else printf("%03X [%u] -> %03X\n", (unsigned)frame->id, frame->length, (unsigned)reply.id);
    atomic_fetch_add(&echoed, 1);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s SECONDS MAX [loopback]\n", argv[0]);
        return 2;
    }
    unsigned long seconds = strtoul(argv[1], NULL, 0);
    max_echoes = strtoul(argv[2], NULL, 0);
    int loopback = argc > 3 && strcmp(argv[3], "loopback") == 0;
    uint32_t setup[4] = {loopback ? MODE_LOOPBACK : 0, 0, 0, 0}; /* mode, acceptance code, mask (0: all) */
    if (!CAN_Setup(PORT, setup, sizeof setup) || !CAN_RegisterReceived(PORT, on_frame) || !CAN_Start(PORT)) {
        fprintf(stderr, "cannot start CAN port %d (does this model have CAN?)\n", PORT);
        return 1;
    }
    CanMessage first = {.id = 0x100, .length = 2, .data = {0xCA, 0xFE}};
    if (loopback && !CAN_Send(PORT, &first, sizeof first)) atomic_fetch_add(&failures, 1);
    struct timespec poll = {0, POLL_MS * 1000000L};
    for (unsigned long ms = 0; ms < seconds * 1000 && atomic_load(&echoed) < max_echoes; ms += POLL_MS)
        nanosleep(&poll, NULL);
    CAN_Stop(PORT);
    CAN_RegisterReceived(PORT, NULL);
    setup[0] = 0;
    CAN_Setup(PORT, setup, sizeof setup); /* others on this bus get it as they found it */
    unsigned long done = atomic_load(&echoed), failed = atomic_load(&failures);
    printf("%lu frames echoed, %lu sends failed\n", done, failed);
    if (failed || (loopback && done < max_echoes)) return 1;
    return 0;
}
