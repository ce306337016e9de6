#include "mcu/registry_search.h"

#include "core/pci_config.h"
#include "core/port_kind.h"

namespace hx {
namespace {

constexpr RegChar kUartEnum[] = u"SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\";
constexpr RegChar kUsbCdcEnum[] = u"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1CBE&PID_0002\\";
constexpr RegChar kFtdiEnum[] = u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\";
constexpr RegChar kFtdiDevicePrefix[] = u"VID_0403+PID_6015+";
constexpr RegChar kUsbSerDriverList[] = u"SYSTEM\\CurrentControlSet\\Services\\usbser\\Enum";
constexpr RegChar kUsbSerPrefix[] = u"USB\\VID_1CBE&PID_0002";
constexpr RegChar kFtdiDriverList[] = u"SYSTEM\\CurrentControlSet\\Services\\FTSER2K\\Enum";
constexpr RegChar kFtdiPrefix[] = u"FTDIBUS\\VID_0403+PID_6015+";
constexpr RegChar kEnumRoot[] = u"SYSTEM\\CurrentControlSet\\Enum\\";
constexpr RegChar kHsuart0F0A[] = u"SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_0F0A&SUBSYS_72708086&REV_";
constexpr RegChar kHsuart0F0C[] = u"SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_0F0C&SUBSYS_72708086&REV_";
constexpr RegChar kControl[] = u"\\Control";
constexpr RegChar kDeviceParameters[] = u"\\Device Parameters";
constexpr RegChar kBackslash[] = u"\\";
constexpr RegChar kAllocConfig[] = u"AllocConfig";
constexpr RegChar kPortName[] = u"PortName";
constexpr RegChar kCount[] = u"Count";
constexpr RegChar kDevicePrefix[] = u"\\\\.\\";

// Byte offset in a CM_RESOURCE_LIST of the low 32 bits of the start address
// of the first partial descriptor of the first full descriptor: the base of
// the UART's first I/O range.
constexpr u32 kAllocConfigIoBaseOffset = 24;

// PCI configuration register 08h holds the revision id in its low byte.
constexpr u32 kPciRevisionRegister = 0x08;
constexpr u32 kRevisionMask = 0xFF;

u32 Length(const RegChar* s) {
    u32 n = 0;
    while (s[n]) ++n;
    return n;
}

bool StartsWith(const RegChar* text, const RegChar* prefix) {
    for (u32 i = 0; prefix[i]; ++i) {
        if (text[i] != prefix[i]) return false;  // also stops at text's NUL
    }
    return true;
}

// A bounded text buffer: appending what does not fit marks it unusable
// instead of overrunning.
template <u32 N>
struct Text {
    RegChar chars[N] = {};
    u32 length = 0;
    bool fits = true;

    Text& operator<<(const RegChar* s) {
        const u32 n = Length(s);
        if (!fits || length + n >= N) {
            fits = false;
            return *this;
        }
        for (u32 i = 0; i < n; ++i) chars[length + i] = s[i];
        length += n;
        chars[length] = 0;
        return *this;
    }
};

using KeyPath = Text<kRegKeyPathChars>;
using SubKeyName = RegChar[kRegSubKeyNameChars + 1];

// Closes a key when the search leaves its scope, on every path.
class OpenKey {
public:
    OpenKey(const RegistrySource& reg, const RegChar* path) : reg_(reg), key_(reg.openKey(path)) {}
    ~OpenKey() {
        if (key_ != kNoRegKey) reg_.closeKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    explicit operator bool() const { return key_ != kNoRegKey; }
    RegKey get() const { return key_; }
    u32 SubKeys() const {
        u32 count = 0;
        return reg_.subKeyCount(key_, &count) ? count : 0;
    }

private:
    const RegistrySource& reg_;
    RegKey key_;
};

bool KeyExists(const RegistrySource& reg, const KeyPath& path) {
    if (!path.fits) return false;
    OpenKey key(reg, path.chars);
    return static_cast<bool>(key);
}

// Reads a text value into `out` (room for `bytes` bytes plus a NUL), taken
// up to the bytes the registry returned.
template <u32 Bytes>
bool ReadText(const RegistrySource& reg, RegKey key, const RegChar* name, RegChar (&out)[Bytes / 2 + 1]) {
    u32 size = Bytes;
    if (!reg.queryValue(key, name, reinterpret_cast<u8*>(out), &size)) return false;
    out[(size > Bytes ? Bytes : size) / 2] = 0;
    return true;
}

// "\\.\" + the PortName of `keyPath`; false when missing or when the path
// would not fit the link's buffer.
template <u32 Bytes>
bool ReadDevicePath(const RegistrySource& reg, const KeyPath& keyPath, RegChar* path) {
    if (!keyPath.fits) return false;
    OpenKey key(reg, keyPath.chars);
    if (!key) return false;
    RegChar name[Bytes / 2 + 1];
    if (!ReadText<Bytes>(reg, key.get(), kPortName, name)) return false;
    Text<kDevicePathChars> device;
    device << kDevicePrefix << name;
    if (!device.fits) return false;
    for (u32 i = 0; i <= device.length; ++i) path[i] = device.chars[i];
    return true;
}

bool AllocConfigBaseIs(const RegistrySource& reg, const KeyPath& controlPath, u32 kind) {
    if (!controlPath.fits) return false;
    OpenKey control(reg, controlPath.chars);
    if (!control) return false;  // the device is not started
    u8 data[kAllocConfigBytes] = {};
    u32 size = sizeof data;
    if (!reg.queryValue(control.get(), kAllocConfig, data, &size)) return false;
    if (size < kAllocConfigIoBaseOffset + sizeof(u32)) return false;
    const u8* w = data + kAllocConfigIoBaseOffset;
    const u32 base = u32{w[0]} | u32{w[1]} << 8 | u32{w[2]} << 16 | u32{w[3]} << 24;
    return base == kind;
}

// Calls `visit(name)` for each sub-key of `rootPath`, in index order, until
// it returns true. A sub-key whose name cannot be read is passed over.
template <typename Visit>
Bool32 AnySubKey(const RegistrySource& reg, const RegChar* rootPath, Visit visit) {
    OpenKey root(reg, rootPath);
    if (!root) return kFalse;
    const u32 count = root.SubKeys();
    for (u32 i = 0; i < count; ++i) {
        SubKeyName name;
        if (reg.enumSubKey(root.get(), i, name, kRegSubKeyNameChars) && visit(name)) return kTrue;
    }
    return kFalse;
}

// The device path of instance `stem` + `name` when its "Control" key passes
// `started` (the device is started) and its PortName fits.
template <typename ControlTest>
bool InstancePort(const RegistrySource& reg, const RegChar* stem, const RegChar* name, ControlTest started,
                  RegChar* path) {
    KeyPath control, params;
    control << stem << name << kControl;
    if (!started(control)) return false;
    params << stem << name << kDeviceParameters;
    return ReadDevicePath<kPortNameBytes>(reg, params, path);
}

Bool32 FindLegacyUart(const RegistrySource& reg, u32 kind, RegChar* path) {
    const auto baseIsKind = [&](const KeyPath& control) { return AllocConfigBaseIs(reg, control, kind); };
    return AnySubKey(reg, kUartEnum,
                     [&](const RegChar* name) { return InstancePort(reg, kUartEnum, name, baseIsKind, path); });
}

Bool32 FindUsbCdcByEnum(const RegistrySource& reg, RegChar* path) {
    const auto exists = [&](const KeyPath& control) { return KeyExists(reg, control); };
    return AnySubKey(reg, kUsbCdcEnum,
                     [&](const RegChar* name) { return InstancePort(reg, kUsbCdcEnum, name, exists, path); });
}

// One FTDI device key: the first started instance whose port opens.
Bool32 FindFtdiInstance(const RegistrySource& reg, const RegChar* device, RegChar* path) {
    KeyPath devicePath;
    devicePath << kFtdiEnum << device << kBackslash;
    if (!devicePath.fits) return kFalse;
    const auto exists = [&](const KeyPath& control) { return KeyExists(reg, control); };
    return AnySubKey(reg, devicePath.chars, [&](const RegChar* name) {
        return InstancePort(reg, devicePath.chars, name, exists, path) && reg.testOpen(path);
    });
}

Bool32 FindFtdiByEnum(const RegistrySource& reg, RegChar* path) {
    return AnySubKey(reg, kFtdiEnum, [&](const RegChar* name) {
        return StartsWith(name, kFtdiDevicePrefix) && FindFtdiInstance(reg, name, path);
    });
}

void AppendHexByte(KeyPath& text, u32 value) {
    constexpr RegChar kDigits[] = u"0123456789ABCDEF";
    const RegChar hex[] = {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF], 0};
    text << hex;
}

Bool32 FindHsuart(const RegistrySource& reg, u32 kind, const RegChar* keyStem, RegChar* path) {
    const u32 config = PciConfigRead32(kind + kPciRevisionRegister);
    KeyPath base;
    base << keyStem;
    AppendHexByte(base, config & kRevisionMask);
    base << kBackslash;
    if (!base.fits) return kFalse;
    return AnySubKey(reg, base.chars, [&](const RegChar* name) {
        KeyPath params;
        params << base.chars << name << kDeviceParameters;
        return ReadDevicePath<kPortNameBytes>(reg, params, path);
    });
}

void FormatDecimal(u32 value, RegChar* out) {
    RegChar digits[11];
    u32 n = 0;
    do {
        digits[n++] = static_cast<RegChar>(u'0' + value % 10);
        value /= 10;
    } while (value);
    for (u32 i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = 0;
}

}  // namespace

Bool32 FindPortByServiceEnum(const RegistrySource& reg, const RegChar* enumKey, const RegChar* instancePrefix,
                             RegChar* path) {
    OpenKey list(reg, enumKey);
    if (!list) return kFalse;
    u8 countBytes[sizeof(u32)] = {};
    u32 size = sizeof countBytes;
    if (!reg.queryValue(list.get(), kCount, countBytes, &size)) return kFalse;
    const u32 count = u32{countBytes[0]} | u32{countBytes[1]} << 8 | u32{countBytes[2]} << 16 |
                      u32{countBytes[3]} << 24;
    for (u32 i = 0; i < count; ++i) {
        RegChar valueName[12];
        FormatDecimal(i, valueName);
        RegChar instance[kEnumListValueBytes / 2 + 1];
        // A hole in the list ends the search.
        if (!ReadText<kEnumListValueBytes>(reg, list.get(), valueName, instance)) return kFalse;
        if (!StartsWith(instance, instancePrefix)) continue;
        KeyPath params;
        params << kEnumRoot << instance << kDeviceParameters;
        if (ReadDevicePath<kEnumListValueBytes>(reg, params, path)) return kTrue;
    }
    return kFalse;
}

Bool32 RegistryFindMcuPort(const RegistrySource& reg, u32 osMajor, u32 portKind, RegChar* path) {
    const bool driverLists = osMajor >= kFirstOsWithDriverLists;
    switch (portKind) {
        case kPortUart2E0: case kPortUart2E8: case kPortUart2F8:
        case kPortUart368: case kPortUart3E8: case kPortUart3F8:
            return FindLegacyUart(reg, portKind, path);
        case kPortUsbCdc1CBE:
            return driverLists ? FindPortByServiceEnum(reg, kUsbSerDriverList, kUsbSerPrefix, path)
                               : FindUsbCdcByEnum(reg, path);
        case kPortUsbFtdi6015:
            return driverLists ? FindPortByServiceEnum(reg, kFtdiDriverList, kFtdiPrefix, path)
                               : FindFtdiByEnum(reg, path);
        case kPortHsuart0F0A: return FindHsuart(reg, portKind, kHsuart0F0A, path);
        case kPortHsuart0F0C: return FindHsuart(reg, portKind, kHsuart0F0C, path);
        default: return kFalse;  // no registry access for an unknown kind
    }
}

}  // namespace hx
