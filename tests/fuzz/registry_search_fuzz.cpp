// libFuzzer target: the registry search of MCU port discovery over a registry
// built from the input: instances below the roots the search knows (and
// others), sub-key names of any length, Control and Device Parameters keys,
// PortName, AllocConfig, Count and list values of any bytes and size (text
// without a NUL, odd sizes, values larger than the room offered). The fake
// writes the last byte of the room a call claims before it answers, so a
// claim larger than the buffer is an overrun that ASan reports.
// Checked on every input (a failed check traps, libFuzzer keeps the input):
// - every key opened is closed once; an unknown kind opens none;
// - a found path is "\\.\" + the text of the PortName read last, at most 15
//   characters, read from a Device Parameters key below the root of the
//   kind's own search (the OS version choosing between the two USB ones).
#include <fuzzer/FuzzedDataProvider.h>

#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

#include "core/pci_config.h"
#include "core/port_kind.h"
#include "mcu/registry_search.h"

namespace hx {
u32 g_pciConfig = 0;  // the PCI kinds' configuration word 08h
u32 PciConfigRead32(u32) { return g_pciConfig; }
}  // namespace hx

namespace {

using namespace hx;
using Text = std::u16string;
using View = std::u16string_view;
// Looked up by view: the search's many opens and queries allocate nothing here.
struct Hash {
    using is_transparent = void;
    size_t operator()(View v) const { return std::hash<View>{}(v); }
};
template <class T>
using Table = std::unordered_map<Text, T, Hash, std::equal_to<>>;

void Require(bool ok) {
    if (!ok) __builtin_trap();
}

struct Key {
    std::vector<Text> subKeys;
    Table<std::vector<u8>> values;
};
// Hashed, and a handle keeps its key's node (which no insertion moves): the
// search opens and looks up keys by the thousand on a large input.
Table<Key> g_keys;
std::vector<std::pair<const Text*, Key*>> g_handles;
int g_open = 0, g_opens = 0;
Text g_portNameKey, g_portName;  // the PortName read last

Text Trim(Text p) {
    while (!p.empty() && p.back() == u'\\') p.pop_back();
    return p;
}
RegKey OpenKey(const RegChar* path) {
    ++g_opens;
    View key(path);
    while (!key.empty() && key.back() == u'\\') key.remove_suffix(1);
    const auto it = g_keys.find(key);
    if (it == g_keys.end()) return kNoRegKey;
    g_handles.emplace_back(&it->first, &it->second);
    ++g_open;
    return g_handles.size();
}
Key& Of(RegKey k) {
    Require(k >= 1 && k <= g_handles.size() && g_handles[k - 1].second);
    return *g_handles[k - 1].second;
}
bool SubKeyCount(RegKey k, u32* n) { return *n = static_cast<u32>(Of(k).subKeys.size()), true; }
bool EnumSubKey(RegKey k, u32 i, RegChar* name, u32 capacity) {
    name[0] = name[capacity - 1] = u'#';  // the room claimed is there
    const auto& sub = Of(k).subKeys;
    if (i >= sub.size() || sub[i].size() >= capacity) return false;
    std::copy(sub[i].c_str(), sub[i].c_str() + sub[i].size() + 1, name);
    return true;
}
bool QueryValue(RegKey k, const RegChar* name, u8* data, u32* size) {
    if (*size) data[0] = data[*size - 1] = 0xA5;  // the room claimed is there
    const auto& values = Of(k).values;
    const auto it = values.find(View(name));
    if (it == values.end()) return false;
    if (it->second.size() > *size) return *size = static_cast<u32>(it->second.size()), false;
    std::copy(it->second.begin(), it->second.end(), data);
    *size = static_cast<u32>(it->second.size());
    if (View(name) == u"PortName") {
        g_portNameKey = *g_handles[k - 1].first;
        g_portName.assign(reinterpret_cast<const char16_t*>(data), *size / 2);
        g_portName = g_portName.substr(0, g_portName.find(u'\0'));
    }
    return true;
}
void CloseKey(RegKey k) {
    Of(k);
    g_handles[k - 1].second = nullptr;
    --g_open;
}
bool g_opensOk = false;
bool TestOpen(const RegChar*) { return g_opensOk; }
constexpr RegistrySource kFake{OpenKey, SubKeyCount, EnumSubKey, QueryValue, CloseKey, TestOpen};

const Text kEnum = u"SYSTEM\\CurrentControlSet\\Enum\\";
const Text kRoots[] = {kEnum + u"ACPI\\PNP0501", kEnum + u"USB\\VID_1CBE&PID_0002", kEnum + u"FTDIBUS",
                       kEnum + u"FTDIBUS\\VID_0403+PID_6015+A", u"SYSTEM\\CurrentControlSet\\Services\\usbser\\Enum",
                       u"SYSTEM\\CurrentControlSet\\Services\\FTSER2K\\Enum",
                       kEnum + u"PCI\\VEN_8086&DEV_0F0A&SUBSYS_72708086&REV_0E", kEnum + u"Other"};
const Text kNames[] = {u"0000", u"VID_0403+PID_6015+A", u"USB\\VID_1CBE&PID_0002\\6&2",
                       u"FTDIBUS\\VID_0403+PID_6015+X\\0000", u"PNP0501\\1"};
const std::vector<u8> kCom = {'C', 0, 'O', 0, 'M', 0, '5', 0, 0, 0};
std::vector<u8> kAlloc(40, 0);  // a CM_RESOURCE_LIST whose first I/O range starts at the kind (set per input)
constexpr u32 kKinds[] = {kPortUart2E8, kPortUart368, kPortUsbCdc1CBE, kPortUsbFtdi6015, kPortHsuart0F0A, 0x1234};

Text Name(FuzzedDataProvider& in) {
    if (in.ConsumeBool()) return in.PickValueInArray(kNames);
    const std::string raw = in.ConsumeRandomLengthString(600);
    Text t(raw.size() / 2, u'\0');
    std::copy_n(reinterpret_cast<const char16_t*>(raw.data()), t.size(), t.data());
    return t.substr(0, t.find(u'\0'));
}
// A sound value, one larger than any room (16384 bytes of text, no NUL), or
// the input's bytes.
std::vector<u8> Bytes(FuzzedDataProvider& in, std::vector<u8> sound) {
    if (in.ConsumeBool()) return sound;
    if (in.ConsumeBool()) return std::vector<u8>(kPortNameBytes + 1, '7');
    const std::string raw = in.ConsumeRandomLengthString(600);
    return {raw.begin(), raw.end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    g_keys.clear(), g_handles.clear(), g_open = g_opens = 0, g_portNameKey.clear();
    const u32 os = in.ConsumeBool() ? 10 : 6, kind = in.PickValueInArray(kKinds);
    for (int i = 0; i < 4; ++i) kAlloc[24 + i] = static_cast<u8>(kind >> (8 * i));
    g_pciConfig = in.ConsumeBool() ? 0x0E : in.ConsumeIntegral<u32>();
    g_opensOk = in.ConsumeBool();
    while (in.remaining_bytes()) {
        const Text root = in.PickValueInArray(kRoots), name = Name(in), key = root + u"\\" + name;
        const u8 shape = in.ConsumeIntegral<u8>();
        g_keys[root].subKeys.push_back(name);
        g_keys[Trim(key)];
        if (shape & 1) g_keys[key + u"\\Control"].values[u"AllocConfig"] = Bytes(in, kAlloc);
        if (shape & 2) g_keys[key + u"\\Device Parameters"].values[u"PortName"] = Bytes(in, kCom);
        if (shape & 4) g_keys[root].values[u"Count"] = {u8(shape >> 3), 0, 0, 0};
        if (shape & 8) g_keys[root].values[Text(1, u'0' + (shape >> 4) % 3)] = Bytes(in, {reinterpret_cast<const u8*>(name.c_str()),
                                                                                    reinterpret_cast<const u8*>(name.c_str() + name.size() + 1)});
        if (shape & 16) g_keys[kEnum + name + u"\\Device Parameters"].values[u"PortName"] = Bytes(in, kCom);
    }
    RegChar path[kDevicePathChars + 1];
    std::fill(path, path + kDevicePathChars + 1, u'#');
    const bool found = RegistryFindMcuPort(kFake, os, kind, path) != 0;
    Require(g_open == 0 && (kind != 0x1234 || g_opens == 0));
    if (!found) return 0;
    const Text result(path, std::find(path, path + kDevicePathChars, u'\0'));
    Require(result.size() < kDevicePathChars && result == u"\\\\.\\" + g_portName);
    const Text tail = u"\\Device Parameters";
    Require(g_portNameKey.size() > tail.size() && g_portNameKey.ends_with(tail));
    const Text rootOfKind = kind == kPortUsbCdc1CBE  ? (os >= 10 ? kEnum + u"USB\\VID_1CBE&PID_0002\\" : kRoots[1])
                            : kind == kPortUsbFtdi6015 ? (os >= 10 ? kEnum + u"FTDIBUS\\VID_0403+PID_6015+" : kRoots[2])
                            : kind == kPortHsuart0F0A  ? kRoots[6].substr(0, kRoots[6].size() - 2)
                                                       : kRoots[0];
    Require(g_portNameKey.starts_with(rootOfKind));
    Require(kind != kPortHsuart0F0A || (g_pciConfig & 0xFF) == 0x0E);
    Require(kind != kPortUsbFtdi6015 || os >= 10 || g_opensOk);
    if (kind == kPortUart2E8 || kind == kPortUart368) {  // the started instance at the kind's I/O base
        const auto& alloc = g_keys[g_portNameKey.substr(0, g_portNameKey.size() - tail.size()) + u"\\Control"]
                                .values[u"AllocConfig"];
        Require(alloc.size() >= 28 && (alloc[24] | alloc[25] << 8 | alloc[26] << 16 | u32(alloc[27]) << 24) == kind);
    }
    return 0;
}
