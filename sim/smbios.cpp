#include "sim/smbios.h"

#include <cstring>

namespace hx::sim {
namespace {

constexpr u8 kTypeBios = 0;
constexpr u8 kTypeSystem = 1;
constexpr u8 kTypeBaseboard = 2;
constexpr u8 kTypeEnd = 127;
constexpr u8 kBiosLength = 0x18;       // SMBIOS 2.4+ BIOS information
constexpr u8 kSystemLength = 0x1B;     // with UUID, wake-up type, SKU, family
constexpr u8 kBaseboardLength = 0x0F;  // up to the contained-object count
constexpr u8 kEndLength = 4;
constexpr u8 kSmbiosMajor = 3, kSmbiosMinor = 0;
constexpr u8 kBiosStartSegment[2] = {0x00, 0xF0};
constexpr u8 kBiosRomSize64k = 0x0F;   // (n + 1) * 64 KiB
constexpr u8 kWakeUpPowerSwitch = 0x06;
constexpr u8 kBoardTypeMotherboard = 0x0A;
constexpr u8 kBoardIsHosting = 0x01;

class Writer {
public:
    Writer(u8* out, u32 capacity) : out_(out), cap_(capacity) {}
    void Byte(u8 b) {
        if (len_ < cap_) out_[len_] = b;
        ++len_;
    }
    void Word(u16 w) {
        Byte(static_cast<u8>(w));
        Byte(static_cast<u8>(w >> 8));
    }
    void Bytes(const u8* b, u32 n) {
        for (u32 i = 0; i < n; ++i) Byte(b[i]);
    }
    void Header(u8 type, u8 length, u16 handle) {
        Byte(type);
        Byte(length);
        Word(handle);
    }
    // The string set: each string NUL-terminated, the set ended by one more
    // NUL (two NULs when the structure has no strings).
    void Strings(const char* const* strings, u32 count) {
        bool any = false;
        for (u32 i = 0; i < count; ++i) {
            if (!strings[i] || !*strings[i]) continue;
            Bytes(reinterpret_cast<const u8*>(strings[i]), static_cast<u32>(std::strlen(strings[i])) + 1);
            any = true;
        }
        if (!any) Byte(0);
        Byte(0);
    }
    u32 Length() const { return len_; }
    bool Fits() const { return len_ <= cap_; }

private:
    u8* out_;
    u32 cap_;
    u32 len_ = 0;
};

// String numbers start at 1; an empty string is number 0 and takes no slot.
u8 StringNumber(const char* const* strings, u32 index) {
    u8 n = 0;
    for (u32 i = 0; i <= index; ++i) {
        if (strings[i] && *strings[i]) ++n;
    }
    return strings[index] && *strings[index] ? n : 0;
}

void WriteBios(Writer& w, const SmbiosIdentity& id) {
    const char* s[] = {id.biosVendor, id.biosVersion, id.biosDate};
    w.Header(kTypeBios, kBiosLength, 0x0000);
    w.Byte(StringNumber(s, 0));
    w.Byte(StringNumber(s, 1));
    w.Bytes(kBiosStartSegment, 2);
    w.Byte(StringNumber(s, 2));
    w.Byte(kBiosRomSize64k);
    const u8 characteristics[8] = {0x80, 0x98, 0x8B, 0x3F, 0x01, 0x00, 0x00, 0x00};
    w.Bytes(characteristics, 8);
    const u8 extension[2] = {0x03, 0x0D};
    w.Bytes(extension, 2);
    const u8 releases[4] = {5, 12, 0xFF, 0xFF};  // BIOS 5.12, no embedded controller
    w.Bytes(releases, 4);
    w.Strings(s, 3);
}

void WriteSystem(Writer& w, const SmbiosIdentity& id) {
    const char* s[] = {id.systemManufacturer, id.productName, id.systemVersion, id.serialNumber};
    w.Header(kTypeSystem, kSystemLength, 0x0001);
    for (u32 i = 0; i < 4; ++i) w.Byte(StringNumber(s, i));
    const u8 uuid[16] = {0x03, 0x00, 0x02, 0x00, 0x04, 0x00, 0x05, 0x00, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0x09};
    w.Bytes(uuid, 16);
    w.Byte(kWakeUpPowerSwitch);
    w.Byte(0);  // no SKU string
    w.Byte(0);  // no family string
    w.Strings(s, 4);
}

void WriteBaseboard(Writer& w, const SmbiosIdentity& id) {
    const char* s[] = {id.boardManufacturer, id.boardProduct, id.boardVersion, id.serialNumber};
    w.Header(kTypeBaseboard, kBaseboardLength, 0x0002);
    for (u32 i = 0; i < 4; ++i) w.Byte(StringNumber(s, i));
    w.Byte(0);  // no asset tag
    w.Byte(kBoardIsHosting);
    w.Byte(0);  // no location string
    w.Word(0x0003);  // chassis handle
    w.Byte(kBoardTypeMotherboard);
    w.Byte(0);  // no contained objects
    w.Strings(s, 4);
}

}  // namespace

u32 BuildSmbiosTable(const SmbiosIdentity& id, u8* out, u32 capacity) {
    Writer w(out, capacity);
    WriteBios(w, id);
    WriteSystem(w, id);
    WriteBaseboard(w, id);
    w.Header(kTypeEnd, kEndLength, 0xFEFF);
    w.Strings(nullptr, 0);
    return w.Fits() ? w.Length() : 0;
}

u32 BuildRegistrySmbiosData(const SmbiosIdentity& id, u8* out, u32 capacity) {
    if (capacity < kRawSmbiosHeader) return 0;
    const u32 table = BuildSmbiosTable(id, out + kRawSmbiosHeader, capacity - kRawSmbiosHeader);
    if (table == 0) return 0;
    out[0] = 0;  // calling method
    out[1] = kSmbiosMajor;
    out[2] = kSmbiosMinor;
    out[3] = 0;  // DMI revision
    for (u32 i = 0; i < 4; ++i) out[4 + i] = static_cast<u8>(table >> (8 * i));
    return kRawSmbiosHeader + table;
}

}  // namespace hx::sim
