// libFuzzer target: platform detection from the SMBIOS table, through the
// inventory seam of a back-end made by the target. The input gives the read's
// outcome (found, binary, the length reported, the bytes written) and the
// table's bytes; the bytes of the buffer the read did not write are filled
// with a model key, so a search of them would select a platform.
// Checked on every input (a failed check traps, libFuzzer keeps the input):
// - the read is offered 4095 bytes of a buffer whose byte 4095 is NUL;
// - a platform is chosen only when the source was found, is binary and
//   delivered all of the used length (the reported one, capped at 4095);
// - the choice is the first catalog key that occurs in those bytes once every
//   byte outside 20h..7Fh is a blank, and none otherwise.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/backend.h"
#include "frame/catalog.h"
#include "frame/detect.h"

namespace {

using namespace hx;

void Require(bool ok) {
    if (!ok) __builtin_trap();
}

SmbiosRead g_read;
std::string g_table;
constexpr char kPoison[] = "Trelo-01 ";

SmbiosRead ReadSmbios(u8* buffer, u32 capacity) {
    Require(capacity == kSmbiosMaxLength && buffer[kSmbiosMaxLength] == 0);
    const u32 written = std::min<u32>(g_read.writtenLength, capacity);
    std::memcpy(buffer, g_table.data(), written);
    for (u32 i = written; i < capacity; ++i) buffer[i] = kPoison[i % (sizeof kPoison - 1)];
    return g_read;
}

constexpr Backend kBackend{"fuzz", {}, {ReadSmbios, nullptr}};

const PlatformOps* Expected() {
    const u32 length = std::min(g_read.reportedLength, kSmbiosMaxLength);
    if (!g_read.found || !g_read.isBinary || g_read.writtenLength < length) return nullptr;
    std::string text = g_table.substr(0, length);
    for (char& c : text) c = static_cast<u8>(c) < 0x20 || static_cast<u8>(c) > 0x7F ? ' ' : c;
    for (const PlatformOps& row : PlatformCatalog) {
        if (text.find(row.modelKey) != std::string::npos) return &row;
    }
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const u8 flags = in.ConsumeIntegral<u8>();
    g_read.found = flags & 1;
    g_read.isBinary = flags & 2;
    const u32 reported = in.ConsumeIntegralInRange<u32>(0, 2 * kSmbiosBufferSize);
    g_table = in.ConsumeRemainingBytesAsString();
    g_table.resize(std::max<size_t>(g_table.size(), kSmbiosMaxLength), '\0');  // what the source holds
    g_read.reportedLength = flags & 4 ? reported : static_cast<u32>(std::min<size_t>(size, kSmbiosBufferSize + 8));
    g_read.writtenLength = flags & 8 ? std::min(reported, kSmbiosMaxLength) : std::min(g_read.reportedLength, kSmbiosMaxLength);
    UseBackend(&kBackend);
    Require(FindPlatform() == Expected());
    return 0;
}
