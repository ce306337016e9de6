// The Windows side of the Wine stage: loads Halvex32.dll (and through it the
// simulated WinIo64.dll) and carries out a script, one command a line:
//
//   load [-> refused]                  LoadLibrary; "refused": fails with ERROR_DLL_INIT_FAILED
//   unload                             FreeLibrary
//   call NAME ARG... -> RESULT OUT...  an export by name; an ARG is a number or an out-value
//                                      (&u8, &u16, &u32: a zeroed word), whose value follows the result,
//                                      or @dicos (this program's DICOS callback), or @line0 (a
//                                      DicosSetup of line 0, both edges)
//   dicos COUNT -> CALLS STATE VALUE SEQ  waits up to 20 s for COUNT DICOS callbacks: how many
//                                      came, and the last record
//   peek SYMBOL[+OFFSET] -> VALUE      a 32-bit word of the library, found in its link map
//   poke SYMBOL[+OFFSET] VALUE
//   name SYMBOL -> TEXT                the string that starts the record SYMBOL points to ("none")
//   spawn SCRIPT -> CODE               this program on SCRIPT.txt beside the script: its exit code
//   can listen -> RESULT               CAN_RegisterReceived(0) with a callback that keeps the last message
//   can setup WORD -> RESULT           CAN_Setup(0) with one word
//   can send ID#DATA FLAGS -> RESULT   CAN_Send(0) of one message (ID and DATA in hex)
//   can received -> ID#DATA FLAGS RESERVED SIZE
//                                      the last message the callback got (waits up to 2 s), or "none"
//   ign setting SIZE -> RESULT S0 S1 S2 S3 VOLTS
//                                      IGN_GetSetting on a zeroed record; VOLTS as the double's bits
//                                      (so is a double out-value of "call": &d holds its bits)
//
// The library is loaded at the first command that needs it. Each command is
// printed with what was observed; the exit code counts the mismatches.
#include <process.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "halvex32.h"

namespace {

using u64 = unsigned long long;
using Words = std::vector<std::string>;

// Calls an export of type R(A...) with the script's arguments converted to
// the declared parameter types; the result as an unsigned number.
template <typename F>
struct Signature;
template <typename R, typename... A>
struct Signature<R(A...)> {
    static constexpr unsigned kArity = sizeof...(A);
    template <typename T>
    static T Arg(u64 v) {
        if constexpr (std::is_pointer_v<T>) return reinterpret_cast<T>(v);
        else return static_cast<T>(v);
    }
    template <std::size_t... I>
    static u64 Invoke(FARPROC fn, const u64* args, std::index_sequence<I...>) {
        auto* f = reinterpret_cast<R (*)(A...)>(reinterpret_cast<void*>(fn));
        if constexpr (std::is_void_v<R>) return f(Arg<A>(args[I])...), 0;
        else return static_cast<std::make_unsigned_t<R>>(f(Arg<A>(args[I])...));
    }
    static u64 Call(FARPROC fn, const u64* args) { return Invoke(fn, args, std::index_sequence_for<A...>{}); }
};

struct Export {
    const char* name;
    unsigned arity;
    u64 (*call)(FARPROC, const u64*);
};
#define X(name) {#name, Signature<decltype(name)>::kArity, &Signature<decltype(name)>::Call},
constexpr Export kExports[] = {
#include "runner_exports.inc"  // X(name) for each export, generated from frame/exports.list
};
#undef X

HMODULE g_library = nullptr;
std::string g_scriptDir;

// The DICOS callback's calls: how many (bits 48..63), and the last record
// (inputState at bit 24, eventValue at 8, sequence at 0).
std::atomic<u64> g_dicos{0};

void HX_CALLBACK OnDicos(DiEventRecord* r) {
    g_dicos.store(((g_dicos.load() >> 48) + 1) << 48 | u64{r->inputState} << 24 | u64{r->eventValue} << 8 | r->sequence);
}

// @line0: a DICOS setup of line 0, both edges.
DicosSetup g_line0{1, 0, 0};

std::string Number(u64 v) {
    char b[24];
    std::snprintf(b, sizeof b, v < 10 ? "%llu" : "0x%llX", v);
    return b;
}

// Numbers compare by value, whatever base they are written in.
std::string Canonical(const std::string& word) {
    char* end = nullptr;
    const u64 v = std::strtoull(word.c_str(), &end, 0);
    return !word.empty() && *end == '\0' && word[0] != '-' ? Number(v) : word;
}

bool Loaded() {
    if (!g_library) g_library = LoadLibraryW(L"Halvex32.dll");
    return g_library != nullptr;
}

// Address of a symbol of the link map beside the library, relocated to where
// the library was loaded; 0 when the map has no such symbol.
char* Symbol(const std::string& spec) {
    const std::size_t plus = spec.find('+');
    const std::string name = spec.substr(0, plus);
    char path[MAX_PATH];
    GetModuleFileNameA(g_library, path, MAX_PATH);
    std::ifstream map(std::string(path) + ".map");
    u64 imageBase = 0, address = 0;
    for (std::string line; std::getline(map, line);) {
        std::istringstream s(line);
        std::string at, symbol, more;
        if (!(s >> at >> symbol) || at.rfind("0x", 0) != 0) continue;
        if (symbol == "__image_base__") imageBase = std::strtoull(at.c_str(), nullptr, 16);
        const bool named = symbol == name || (symbol.size() > name.size() + 2 &&
                                              symbol.compare(symbol.size() - name.size() - 2, std::string::npos,
                                                             "::" + name) == 0);
        if (named && !(s >> more)) address = std::strtoull(at.c_str(), nullptr, 16);
    }
    if (!imageBase || !address) return nullptr;
    const u64 offset = plus == std::string::npos ? 0 : std::strtoull(spec.c_str() + plus + 1, nullptr, 0);
    return reinterpret_cast<char*>(g_library) + (address - imageBase) + offset;
}

Words CallExport(const Words& w) {
    const Export* e = nullptr;
    for (const Export& x : kExports) e = w[1] == x.name ? &x : e;
    if (!e || w.size() - 2 != e->arity) return {"no-such-export-or-arity"};
    FARPROC fn = GetProcAddress(g_library, e->name);
    u64 outs[8] = {}, args[8] = {};
    for (std::size_t i = 2; i < w.size(); ++i) {
        if (w[i][0] == '&') args[i - 2] = reinterpret_cast<u64>(&outs[i - 2]);
        else if (w[i] == "@dicos") args[i - 2] = reinterpret_cast<u64>(&OnDicos);
        else if (w[i] == "@line0") args[i - 2] = reinterpret_cast<u64>(&g_line0);
        else args[i - 2] = std::strtoull(w[i].c_str(), nullptr, 0);
    }
    Words seen{Number(e->call(fn, args))};
    for (std::size_t i = 2; i < w.size(); ++i)
        if (w[i][0] == '&') seen.push_back(Number(outs[i - 2]));
    return seen;
}

// The exit code of this program run on SCRIPT.txt beside the script.
int Spawn(const std::string& script) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return static_cast<int>(_spawnl(_P_WAIT, self, self, (g_scriptDir + script + ".txt").c_str(), nullptr));
}

// ---- CAN messages through the received callback ----

CanMessage g_canLast{};
uint32_t g_canSize = 0;
volatile LONG g_canCount = 0;

void HX_CALLBACK OnCanReceived(CanMessage* message, uint32_t size) {
    g_canLast = *message, g_canSize = size;
    InterlockedIncrement(&g_canCount);
}

// "123#DEADBEEF": the id and the data bytes in hex.
std::string MessageText(const CanMessage& m) {
    char text[40];
    int n = std::snprintf(text, sizeof text, "%X#", m.id);
    for (unsigned i = 0; i < m.length && i < 8; ++i) n += std::snprintf(text + n, sizeof text - n, "%02X", m.data[i]);
    return text;
}

Words CanCommand(const Words& w) {
    const auto fn = [](const char* name) { return reinterpret_cast<void*>(GetProcAddress(g_library, name)); };
    if (w[1] == "listen") return {Number(reinterpret_cast<decltype(&CAN_RegisterReceived)>(fn("CAN_RegisterReceived"))(0, OnCanReceived))};
    if (w[1] == "setup" && w.size() == 3) {
        uint32_t word = std::strtoul(w[2].c_str(), nullptr, 0);
        return {Number(reinterpret_cast<decltype(&CAN_Setup)>(fn("CAN_Setup"))(0, &word, sizeof word))};
    }
    if (w[1] == "send" && w.size() == 4) {
        char* at = nullptr;
        CanMessage m{std::strtoul(w[2].c_str(), &at, 16), static_cast<uint16_t>(std::strtoul(w[3].c_str(), nullptr, 0)), 0, 0, {}};
        if (*at != '#') return {"not-ID#DATA"};
        for (++at; at[0] && at[1] && m.length < 8; at += 2) m.data[m.length++] = static_cast<uint8_t>(std::strtoul(std::string(at, 2).c_str(), nullptr, 16));
        return {Number(reinterpret_cast<decltype(&CAN_Send)>(fn("CAN_Send"))(0, &m, sizeof m))};
    }
    if (w[1] != "received") return {"unknown-command"};
    for (int waited = 0; waited < 200 && g_canCount == 0; ++waited) Sleep(10);
    if (g_canCount == 0) return {"none"};
    return {MessageText(g_canLast), Number(g_canLast.flags), Number(g_canLast.reserved), Number(g_canSize)};
}

// What a command observed, in the words of the script's right-hand side.
Words Execute(const Words& w) {
    const std::string& cmd = w[0];
    if (cmd == "load") {
        if (Loaded()) return {};
        return {GetLastError() == ERROR_DLL_INIT_FAILED ? "refused" : "failed"};
    }
    if (cmd == "spawn" && w.size() == 2) return {Number(static_cast<unsigned>(Spawn(w[1])))};
    if (!Loaded()) return {"not-loaded"};
    if (cmd == "unload") {
        FreeLibrary(g_library);
        g_library = nullptr;
        return {};
    }
    if (cmd == "call" && w.size() >= 2) return CallExport(w);
    if (cmd == "dicos" && w.size() == 2) {
        for (int ms = 0; (g_dicos.load() >> 48) < std::stoul(w[1]) && ms < 20000; ms += 10) Sleep(10);
        const u64 r = g_dicos.load();
        return {Number(r >> 48), Number(r >> 24 & 0xFFFF), Number(r >> 8 & 0xFFFF), Number(r & 0xFF)};
    }
    if (cmd == "can" && w.size() >= 2) return CanCommand(w);
    if (cmd == "ign" && w.size() == 3 && w[1] == "setting") {
        IgnSetting r{};
        auto* get = reinterpret_cast<decltype(&IGN_GetSetting)>(reinterpret_cast<void*>(GetProcAddress(g_library, "IGN_GetSetting")));
        u64 ok = get(&r, std::strtoul(w[2].c_str(), nullptr, 0)), volts;
        std::memcpy(&volts, &r.voltage, sizeof volts);
        return {Number(ok), Number(r.setting0), Number(r.setting1), Number(r.setting2), Number(r.setting3), Number(volts)};
    }
    char* at = w.size() >= 2 ? Symbol(w[1]) : nullptr;
    if (!at) return {"no-such-symbol"};
    auto* word = reinterpret_cast<volatile DWORD*>(at);
    if (cmd == "peek") return {Number(*word)};
    if (cmd == "poke" && w.size() == 3) {
        *word = std::strtoul(w[2].c_str(), nullptr, 0);
        return {};
    }
    if (cmd == "name") {
        const char* const* record = *reinterpret_cast<const char* const* const*>(at);
        return {record ? *record : "none"};
    }
    return {"unknown-command"};
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::ifstream script(argc == 2 ? argv[1] : "");
    if (!script) return std::printf("usage: hx_e2e_runner SCRIPT\n"), 64;
    g_scriptDir = argv[1];
    g_scriptDir.erase(g_scriptDir.find_last_of("\\/") + 1);
    int mismatches = 0;
    for (std::string line; std::getline(script, line);) {
        Words left, want;
        std::istringstream s(line);
        bool right = false;
        for (std::string word; s >> word;) {
            if (word == "->") right = true;
            else (right ? want : left).push_back(Canonical(word));
        }
        if (left.empty()) continue;
        const Words seen = Execute(left);
        std::printf("%s\n", line.c_str());
        if (right ? seen == want : seen.empty()) continue;
        std::string got;
        for (const std::string& word : seen) got += " " + word;
        std::printf("  got:%s\n", got.empty() ? " nothing" : got.c_str());
        ++mismatches;
    }
    return mismatches;
}
