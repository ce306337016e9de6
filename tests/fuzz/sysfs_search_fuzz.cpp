// libFuzzer target: the sysfs search of MCU port discovery over a tree kept
// in memory behind the search's file-system calls. The input builds the tty
// class below the root "/s": tty names of any length, port and type files of
// any bytes and size (no newline, no NUL, kilobytes), device links to chains
// of ancestors with USB and PCI id files, or to anywhere (outside the root,
// to themselves: a loop). The fake writes the last byte of the room a call
// claims before it answers, so a claim larger than the buffer is an overrun
// that ASan reports.
// Checked on every input (a failed check traps, libFuzzer keeps the input):
// - nothing outside the root is opened or read; every file opened is closed;
// - a found path is "/dev/" + a tty's name, at most 15 characters;
// - a legacy UART kind yields only a tty whose port holds the kind, whose
//   type is not 0 and that has a driver, and yields one when such a tty with a
//   short name has exactly "0x<base>" and "4" in those files.
#include <fuzzer/FuzzedDataProvider.h>
#include <fcntl.h>
#include <limits.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "backends/linux/sysfs_ports.h"
#include "core/port_kind.h"

namespace {

using namespace hx;
using Str = std::string;

void Require(bool ok) {
    if (!ok) __builtin_trap();
}

enum Kind { kDir, kFile, kLink };
struct Node {
    Kind kind;
    Str data;  // file content or link target
};
std::map<Str, Node> g_tree;
std::map<int, std::pair<Str, size_t>> g_fds;  // open file: path, directory cursor
const Str kRoot = "/s", kTty = "/s/class/tty";

bool Inside(const char* p) { return std::strncmp(p, "/s/", 3) == 0; }
Str Resolve(Str p) {  // follows links in any component; nullopt-like "" on a loop
    for (int hops = 0; hops < 8; ++hops) {
        size_t cut = 0;
        for (const auto& [path, node] : g_tree) {
            if (node.kind == kLink && p.compare(0, path.size(), path) == 0 && (p.size() == path.size() || p[path.size()] == '/')) cut = path.size();
        }
        if (!cut) return g_tree.count(p) || !Inside(p.c_str()) ? p : "";  // outside the root: the rest of the system
        p = g_tree[p.substr(0, cut)].data + p.substr(cut);
    }
    return "";
}
int Open(const char* path, int flags) {
    Require(Inside(path));
    const Str r = Resolve(path);
    if (r.empty() || ((flags & O_DIRECTORY) && g_tree[r].kind != kDir)) return -1;
    const int fd = 3 + static_cast<int>(g_fds.size());
    g_fds[fd] = {r, 0};
    return fd;
}
ssize_t Read(int fd, void* buffer, size_t count) {
    if (count) static_cast<char*>(buffer)[count - 1] = 'x';  // the room claimed is there
    const Node& n = g_tree[g_fds.at(fd).first];
    if (n.kind != kFile) return -1;
    const size_t got = std::min(count, n.data.size());
    std::memcpy(buffer, n.data.data(), got);
    return static_cast<ssize_t>(got);
}
int Close(int fd) { return g_fds.erase(fd) == 1 ? 0 : -1; }
int Access(const char* path, int) { return Require(Inside(path)), Resolve(path).empty() ? -1 : 0; }
char* RealPath(const char* path, char* out) {
    out[PATH_MAX - 1] = 'x';
    const Str r = path == kRoot ? kRoot : (Require(Inside(path)), Resolve(path));
    if (r.empty() || r.size() >= PATH_MAX) return nullptr;
    return std::strcpy(out, r.c_str());
}
long Getdents(int fd, void* buffer, size_t count) {  // linux_dirent64 records of the children
    static_cast<char*>(buffer)[count - 1] = 0;
    auto& [dir, next] = g_fds.at(fd);
    size_t at = 0, index = 0;
    for (const auto& [path, node] : g_tree) {
        if (path.size() <= dir.size() + 1 || path.compare(0, dir.size() + 1, dir + "/") || path.find('/', dir.size() + 1) != Str::npos) continue;
        if (index++ < next) continue;
        const Str name = path.substr(dir.size() + 1);
        const unsigned short length = static_cast<unsigned short>((19 + name.size() + 1 + 7) & ~size_t{7});
        if (at + length > count) break;
        char* record = static_cast<char*>(buffer) + at;
        std::memset(record, 0, length);
        std::memcpy(record + 16, &length, 2);
        std::memcpy(record + 19, name.c_str(), name.size() + 1);
        at += length, ++next;
    }
    return static_cast<long>(at);
}
constexpr os::SysfsCalls kFake{Open, Read, Close, Access, RealPath, Getdents};

const char* const kNames[] = {"ttyS0", "ttyS10", "ttyS9", "ttyUSB0", "ttyACM1"};
const char* const kParts[] = {"pci0000:00", "0000:00:1e.3", "0000:00:1e.4", "usb1", "1-2", "1-2:1.0"};
const char* const kValues[] = {"0x2E8\n", "0x368", "4\n", "0", "1cbe", "0002", "0403", "6015\n", "0x8086", "0x0f0c"};
constexpr u32 kKinds[] = {kPortUart2E8, kPortUart368, kPortUsbCdc1CBE, kPortUsbFtdi6015, kPortHsuart0F0A, kPortHsuart0F0C};

Str Pick(FuzzedDataProvider& in, const char* const* table, size_t n, size_t longest) {
    if (in.ConsumeBool()) return table[in.ConsumeIntegralInRange<size_t>(0, n - 1)];
    const Str s = in.ConsumeRandomLengthString(longest);
    return s.substr(0, s.find('\0'));
}
Str Name(FuzzedDataProvider& in, const char* const* table, size_t n) {
    Str s = Pick(in, table, n, 300).substr(0, 255);
    std::replace(s.begin(), s.end(), '/', '_');
    return s.empty() || s == "." || s == ".." ? "tty" : s;
}
void File(const Str& path, const Str& content) { g_tree[path] = {kFile, content}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g_tree = {{kRoot, {kDir, ""}}, {"/s/class", {kDir, ""}}, {kTty, {kDir, ""}}, {"/s/devices", {kDir, ""}}};
    g_fds.clear();
    const u32 kind = in.ConsumeBool() ? in.PickValueInArray(kKinds) : in.ConsumeIntegral<u32>();
    char base[16];
    std::snprintf(base, sizeof base, "0x%X", kind);
    while (in.remaining_bytes()) {
        const Str tty = kTty + "/" + Name(in, kNames, 5);
        const u8 shape = in.ConsumeIntegral<u8>();
        g_tree[tty] = {kDir, ""};
        if (shape & 1) File(tty + "/port", shape & 32 ? Str(base) : shape & 8 ? Str(5000, '3') : Pick(in, kValues, 10, 300));
        if (shape & 2) File(tty + "/type", shape & 32 ? "4" : Pick(in, kValues, 10, 100));
        Str dev = "/s/devices";
        for (u8 depth = shape >> 6; depth > 0; --depth) {
            g_tree[dev += "/" + Name(in, kParts, 6)] = {kDir, ""};
            for (const char* id : {"/idVendor", "/idProduct", "/vendor", "/device"}) {
                if (in.ConsumeBool()) File(dev + id, Pick(in, kValues, 10, 100));
            }
        }
        if (shape & 4) g_tree[tty + "/device"] = {kLink, shape & 8 ? Pick(in, kParts, 6, 300) : dev};
        if (shape & 16) g_tree[dev + "/driver"] = {kDir, ""};
    }
    bool mustFind = false;  // a short-named tty (no dot first: hidden) with exactly the kind's base, a type, a driver
    for (const auto& [tty, node] : g_tree) {
        if (tty.rfind(kTty + "/", 0) || tty.find('/', kTty.size() + 1) != Str::npos || tty.size() > kTty.size() + 11 ||
            tty[kTty.size() + 1] == '.')
            continue;
        mustFind |= g_tree.count(tty + "/port") && g_tree[tty + "/port"].data == base && g_tree.count(tty + "/type") &&
                    g_tree[tty + "/type"].data == "4" && Resolve(tty + "/device/driver") != "";
    }
    char path[16 + 1];
    std::memset(path, '#', sizeof path);
    const bool found = os::FindPortInSysfs(kFake, kRoot.c_str(), kind, path);
    Require(g_fds.empty());
    const bool uart = kind == kPortUart2E8 || kind == kPortUart368;
    Require(!(uart && mustFind) || found);
    if (!found) return 0;
    const Str tty = kTty + "/" + (Require(std::memchr(path, 0, 16) && !std::strncmp(path, "/dev/", 5)), path + 5);
    Require(g_tree.count(tty) && g_tree[tty].kind == kDir);
    if (!uart) return 0;
    const Str port = g_tree[tty + "/port"].data.substr(0, 63), type = g_tree[tty + "/type"].data.substr(0, 63);
    Require(std::strtoul(port.c_str(), nullptr, 16) == kind && std::strtoul(type.c_str(), nullptr, 10) != 0);
    Require(Resolve(tty + "/device/driver") != "");
    return 0;
}
