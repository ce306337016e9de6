// Runs another program of the build and collects what it printed.
#pragma once

#include <sys/wait.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace hx::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// `command` is a shell command line; environment assignments may prefix it.
inline ProcessResult RunCommand(const std::string& command) {
    const std::string base = "/tmp/hx_run_" + std::to_string(::getpid());
    const std::string full = command + " >" + base + ".out 2>" + base + ".err";
    ProcessResult r;
    const int status = std::system(full.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(base + ".out");
    r.err = ReadFile(base + ".err");
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    return r;
}

inline int CountLines(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

}  // namespace hx::test
