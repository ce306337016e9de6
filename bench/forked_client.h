// A client process for the benchmarks that cross to another process: forked
// before the benchmark starts any thread, it is sent one byte per timed call
// and answers with the nanoseconds its call took (negative: it failed).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

namespace hx::bench {

class ForkedClient {
public:
    // Forks; the child runs `loop(in, out)` and never returns.
    bool Fork(void (*loop)(int in, int out)) {
        int down[2], up[2];
        if (pipe(down) != 0 || pipe(up) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            close(down[1]), close(up[0]);
            loop(down[0], up[1]);
            _exit(1);
        }
        close(down[0]), close(up[1]);
        to_ = down[1], from_ = up[0];
        return pid_ > 0;
    }
    // Sends bytes the client reads before its loop (a device path, say).
    bool Send(const void* bytes, int count) { return write(to_, bytes, count) == count; }
    // One timed call in the client: its time in nanoseconds, or `failed`.
    double RoundTrip(double failed) {
        const char go = 1;
        double ns = failed;
        if (write(to_, &go, 1) != 1 || read(from_, &ns, sizeof ns) != sizeof ns) return failed;
        return ns;
    }
    // Closes the pipes (the client's loop ends) and waits for the client.
    void End() {
        close(to_);
        close(from_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
};

}  // namespace hx::bench
