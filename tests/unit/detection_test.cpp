// Platform detection from the SMBIOS table and the PCI expansion-card scan.
#include <sys/mman.h>

#include <cstring>
#include <string>

#include "frame/catalog.h"
#include "frame/detect.h"
#include "backends/linux/linux_native.h"
#include "sim/smbios.h"
#include "virtual_fixture.h"

namespace hx::test {
namespace {

using sim::AccessKind;

class DetectionTest : public VirtualBoardTest {
protected:
    // Loads on a board whose SMBIOS source holds exactly `bytes`.
    void LoadWithSmbios(const std::string& bytes, bool binary = true) {
        ASSERT_TRUE(sim::SetUpBoard("Trelo-01"));
        sim::SetSmbiosBlob(reinterpret_cast<const u8*>(bytes.data()), static_cast<u32>(bytes.size()), binary);
        ASSERT_TRUE(Load());
    }
};

TEST_F(DetectionTest, EveryModelIsDetectedFromItsGeneratedTable) {
    for (const sim::BoardModel& m : sim::kBoardModels) {
        SCOPED_TRACE(m.name);
        ASSERT_TRUE(sim::SetUpBoard(m.name));
        ASSERT_TRUE(Load());
        EXPECT_STREQ(CurrentKey(), m.name);
        Unload();
    }
}

struct TextCase {
    const char* name;
    std::string smbios;
    const char* expected;  // model key, or "(none)" for no platform
};

class DetectionTextTest : public DetectionTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(DetectionTextTest, SelectsTheExpectedTable) {
    LoadWithSmbios(GetParam().smbios);
    EXPECT_STREQ(CurrentKey(), GetParam().expected);
}

const std::string kNul(1, '\0');

// A generated table whose type 1 product name is `product`.
std::string TableWithProduct(const char* product) {
    sim::SmbiosIdentity id = sim::IdentityFor(*sim::FindBoardModel("Trelo-01"));
    id.productName = product;
    id.boardProduct = "Mainboard";
    u8 buf[1024];
    const u32 n = sim::BuildSmbiosTable(id, buf, sizeof buf);
    return std::string(reinterpret_cast<char*>(buf), n);
}

// `key` placed so that it ends `end` bytes into a text of `size` bytes.
std::string KeyEndingAt(std::size_t end, std::size_t size, const char* key) {
    std::string s(size, 'x');
    s.replace(end - std::strlen(key), std::strlen(key), key);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Catalog, DetectionTextTest,
    ::testing::Values(
        TextCase{"PlusVariantStandsBeforeItsPrefix", "xx Trelo-03+ yy", "Trelo-03+"},
        TextCase{"WithoutPlusSelectsTheShorterKey", "xx Trelo-03 yy", "Trelo-03"},
        TextCase{"FirstCatalogKeyWinsWhereverItStands", "Vexa-06 then Trelo-02", "Trelo-02"},
        TextCase{"FirstCatalogKeyWinsAgainstLaterRows", "Qantis-02 Trelo-11", "Trelo-11"},
        TextCase{"KeyExtendedByLettersSelectsTheKey", "Trelo-16ABX", "Trelo-16"},
        TextCase{"MatchIsCaseSensitive", "trelo-11 TRELO-11", "(none)"},
        TextCase{"NoKeyNoPlatform", "Some Other Board", "(none)"},
        TextCase{"EmptyTextNoPlatform", "", "(none)"},
        TextCase{"KeyBrokenByControlByte", "Trelo\x01-11", "(none)"},
        TextCase{"KeyBrokenByHighByte", "Trelo-1\xB1", "(none)"},
        // A high byte is blanked, so it cannot complete a key either.
        TextCase{"HighByteBecomesBlankNotKeyByte", "Trelo-0\xB1", "(none)"},
        // A NUL between two strings becomes a blank: "Qantis-01" is not found
        // across it, but a key whose own text contains a blank would be.
        TextCase{"KeyNotAcrossAReplacedNul", "Qantis" + kNul + "-01", "(none)"},
        TextCase{"NulInsideTextDoesNotEndTheSearch", "junk" + kNul + kNul + "Vexa-05", "Vexa-05"},
        TextCase{"ControlBytesAroundKeyAreBlanked", "\x01\x02" "Ondra-01" "\x7F\xFF", "Ondra-01"},
        TextCase{"GeneratedTableWithLongerProductName", TableWithProduct("Trelo-03+ Rugged"), "Trelo-03+"},
        // Only the first 4095 bytes are searched.
        TextCase{"KeyEndingAtByte4095", KeyEndingAt(4095, 4095, "Trelo-12"), "Trelo-12"},
        TextCase{"KeyCutAtByte4095", KeyEndingAt(4099, 4099, "Trelo-12"), "(none)"},
        TextCase{"KeyBeyondByte4095", KeyEndingAt(4508, 5000, "Trelo-12"), "(none)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DetectionTest, NonBinaryValueOrMissingSourceGivesNoPlatformButLoads) {
    LoadWithSmbios("Trelo-11", /*binary=*/false);
    EXPECT_EQ(CurrentPlatform.load(), nullptr);
    EXPECT_TRUE(IsLoaded());
    Unload();

    ASSERT_TRUE(sim::SetUpBoard("Trelo-11"));
    sim::RemoveSmbios();
    ASSERT_TRUE(Load());
    EXPECT_EQ(CurrentPlatform.load(), nullptr);
}

TEST_F(DetectionTest, OsMajorVersionIsKeptAndZeroDoesNotStopDetection) {
    for (const u32 major : {0u, 6u}) {
        ASSERT_TRUE(sim::SetUpBoard("Vexa-04"));
        sim::SetOsMajorVersion(major);
        ASSERT_TRUE(Load());
        EXPECT_EQ(OsMajorVersion.load(), major);
        EXPECT_STREQ(CurrentKey(), "Vexa-04");
        Unload();
    }
}

// ---- expansion card scan ----------------------------------------------------

struct CardPlacement {
    u8 bus, device, function;
    u32 id;
};

struct CardCase {
    const char* name;
    std::vector<CardPlacement> cards;
    const char* expected;  // card name, or "(none)"
};

class CardScanTest : public VirtualBoardTest, public ::testing::WithParamInterface<CardCase> {};

TEST_P(CardScanTest, FindsTheSupportedCardOnTheLowestBus) {
    ASSERT_TRUE(sim::SetUpBoard("Trelo-01"));
    for (const CardPlacement& c : GetParam().cards) {
        ASSERT_NE(sim::ThePci().Place(c.bus, c.device, c.function, c.id), nullptr);
    }
    ASSERT_TRUE(Load());
    const ExpansionCardOps* card = CurrentCard.load();
    EXPECT_STREQ(card ? card->name : "(none)", GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Pci, CardScanTest,
    ::testing::Values(CardCase{"NoCard", {}, "(none)"},
                      CardCase{"Card1521OnBus2", {{2, 0, 0, 0x15218086}}, "8086:1521"},
                      CardCase{"Card1563OnBus31", {{31, 0, 0, 0x15638086}}, "8086:1563"},
                      CardCase{"LowestBusWins", {{5, 0, 0, 0x15218086}, {3, 0, 0, 0x15638086}}, "8086:1563"},
                      CardCase{"OtherDeviceOnLowerBusIsPassedOver",
                               {{1, 0, 0, 0x10D38086}, {4, 0, 0, 0x15218086}},
                               "8086:1521"},
                      CardCase{"CardOnDevice1NotFound", {{2, 1, 0, 0x15218086}}, "(none)"},
                      CardCase{"CardOnFunction1NotFound", {{2, 0, 1, 0x15218086}}, "(none)"},
                      CardCase{"CardBeyondBus31NotFound", {{32, 0, 0, 0x15218086}}, "(none)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualBoardTest, CardScanIssuesOneConfigCyclePerBusInOrder) {
    ASSERT_TRUE(sim::SetUpBoard("Trelo-15"));
    ASSERT_TRUE(Load());
    std::vector<sim::Access> writes, reads;
    for (const sim::Access& a : Log()) {
        if (a.kind == AccessKind::PortWrite && a.address == 0xCF8) writes.push_back(a);
        if (a.kind == AccessKind::PortRead && a.address == 0xCFC) reads.push_back(a);
    }
    ASSERT_EQ(writes.size(), 32u);
    ASSERT_EQ(reads.size(), 32u);
    for (u32 bus = 0; bus < 32; ++bus) {
        EXPECT_EQ(writes[bus].value, 0x80000000u | (bus << 16));
        EXPECT_EQ(writes[bus].size, 4);
        EXPECT_EQ(reads[bus].value, 0xFFFFFFFFu);
    }
}

TEST_F(VirtualBoardTest, AFailingConfigDataReadCountsAsNothingFoundOnThatBus) {
    ASSERT_TRUE(sim::SetUpBoard("Trelo-01"));
    ASSERT_NE(sim::ThePci().Place(0, 0, 0, 0x15218086), nullptr);
    ASSERT_TRUE(sim::AddFault(sim::TheBoardState(), AccessKind::PortRead, 0xCFC));
    ASSERT_TRUE(Load());
    EXPECT_EQ(CurrentCard.load(), nullptr) << "the value preset to 0 matches no card";
    for (const sim::Access& a : LogOf(AccessKind::PortRead)) EXPECT_FALSE(a.ok);
}

// The Linux SMBIOS source: sysfs gives the table as a file of unknown size.
TEST(LinuxSmbiosSource, DeliversTheFirstBytesAndReportsTheWholeLength) {
    const std::string path = "/tmp/hx_dmi_" + std::to_string(getpid());
    std::string table(5000, 'x');
    table.replace(100, 8, "Trelo-19");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(table.data(), 1, table.size(), f);
    std::fclose(f);

    static u8 buffer[kSmbiosBufferSize];
    const SmbiosRead r = os::ReadSmbiosFile(path.c_str(), buffer, kSmbiosMaxLength);
    std::remove(path.c_str());
    EXPECT_TRUE(r.found);
    EXPECT_TRUE(r.isBinary);
    EXPECT_EQ(r.writtenLength, kSmbiosMaxLength);
    EXPECT_EQ(r.reportedLength, 5000u);
    EXPECT_EQ(std::memcmp(buffer + 100, "Trelo-19", 8), 0);

    const SmbiosRead missing = os::ReadSmbiosFile("/nonexistent/DMI", buffer, kSmbiosMaxLength);
    EXPECT_FALSE(missing.found);
}

}  // namespace
}  // namespace hx::test
