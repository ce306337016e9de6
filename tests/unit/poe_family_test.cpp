// The PoE families and the expansion cards on the virtual board: the SMBus
// transactions of each operation, the port maps against every board's own
// wiring, rejected ports, and concurrent changes on one controller.
#include <thread>
#include <vector>

#include "poe_test_util.h"
#include "sim/models.h"

namespace hx::test {
namespace {

enum class Op { Status, Enable, Disable };
constexpr int kBoard = -1;  // the platform's ports, not a card's
constexpr Card kCard1521Idx2{0x15218086, 1, 2};
constexpr Card kCard1563Idx7{0x15638086, 3, 7};

u32 Call(Op op, int card, u32 port) {
    if (card == kBoard) {
        const u8 p = static_cast<u8>(port);
        return op == Op::Status ? GetStatusPoEPort(p) : op == Op::Enable ? EnablePoEPort(p) : DisablePoEPort(p);
    }
    const u32 c = static_cast<u32>(card);
    return op == Op::Status ? PCI_GetStatusPoEPort(c, port)
           : op == Op::Enable ? PCI_EnablePoEPort(c, port) : PCI_DisablePoEPort(c, port);
}

struct SequenceCase {
    const char* model;
    Card card;
    u8 preset[3];  // controller (7-bit), register, value; {} for none
    Op op;
    int cardIndex;
    u32 port;
    u32 result;
    const char* transfers;
};

// clang-format off
const SequenceCase kSequences[] = {
    // model       card           preset              op           card    port result  transfers
    {"Trelo-11",   {},            {0x20, 0x12, 0x03}, Op::Enable,  kBoard, 2,   1, "41:12>03 41:14>00 40:12=0F 40:14=22"},
    {"Trelo-11",   {},            {0x20, 0x14, 0x11}, Op::Enable,  kBoard, 2,   1, "41:12>00 41:14>11 40:12=0C 40:14=33"},
    {"Trelo-16",   {},            {0x20, 0x12, 0x0F}, Op::Disable, kBoard, 2,   1, "41:12>0F 41:14>00 40:12=03"},
    {"Qantis-02",  {},            {0x22, 0x12, 0x08}, Op::Status,  kBoard, 6,   0, "45:12>08"},
    {"Qantis-02",  {},            {0x22, 0x12, 0x0C}, Op::Status,  kBoard, 6,   1, "45:12>0C"},
    {"Trelo-12",   {},            {},                 Op::Enable,  kBoard, 1,   1, "43:12>00 43:14>00 42:12=0C 42:14=22"},
    {"Trelo-14",   {},            {},                 Op::Enable,  kBoard, 4,   1, "43:12>00 43:14>00 42:12=30 42:14=44"},
    {"Trelo-17",   {},            {},                 Op::Enable,  kBoard, 8,   1, "41:12>00 41:14>00 40:12=C0 40:14=88"},
    {"Trelo-09",   {},            {},                 Op::Enable,  kBoard, 10,  1, "45:12>00 45:14>00 44:12=0C 44:14=22"},
    {"Trelo-09",   {},            {},                 Op::Enable,  kBoard, 16,  1, "47:12>00 47:14>00 46:12=C0 46:14=88"},
    {"Trelo-06",   {},            {},                 Op::Status,  kBoard, 3,   0, "01:2A>40"},
    {"Qantis-01",  {},            {},                 Op::Enable,  kBoard, 3,   1, "00:1A=00"},
    {"Ondra-01",   {},            {},                 Op::Disable, kBoard, 3,   1, "00:1A=10"},
    {"Trelo-05",   {},            {},                 Op::Enable,  kBoard, 2,   1, "41:12>00 41:14>00 40:12=0C 40:14=22"},
    {"Vexa-03",    {},            {},                 Op::Enable,  kBoard, 4,   1, "41:12>00 41:14>00 40:12=C0 40:14=88"},
    {"Vexa-06",    {},            {0x20, 0x12, 0xC0}, Op::Status,  kBoard, 4,   1, "41:12>C0"},
    {"Trelo-01",   {0x15218086, 1, 0}, {0x21, 0x12, 0x03}, Op::Status, 0, 1, 1, "43:12>03"},
    {"Trelo-01",   kCard1521Idx2, {},                 Op::Enable,  2,      4,   1, "4B:12>00 4B:14>00 4A:12=C0 4A:14=88"},
    {"Trelo-01",   kCard1563Idx7, {0x2F, 0x12, 0xFF}, Op::Disable, 7,      1,   1, "5F:12>FF 5F:14>00 5E:12=FC"},
};
// clang-format on

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.model << " port " << c.port << ": " << c.transfers; }

class PoeSequenceTest : public PoeTest, public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(PoeSequenceTest, RunsExactlyTheseTransactions) {
    const SequenceCase& c = GetParam();
    LoadModel(c.model, c.card);
    if (c.preset[0] || c.preset[1]) SetRegister(c.preset[0], c.preset[1], c.preset[2]);
    EXPECT_EQ(Call(c.op, c.cardIndex, c.port), c.result);
    EXPECT_EQ(Transfers(), c.transfers);
}

INSTANTIATE_TEST_SUITE_P(Families, PoeSequenceTest, ::testing::ValuesIn(kSequences));

// Port 0, one past the map's end, a card index of 8 or a card port of 0 or
// 5, a card export without a card: 0 from every operation, and not one access
// on the bus.
TEST_F(PoeTest, PortsOutsideTheMapAreRejectedWithoutBusAccess) {
    const struct {
        const char* model;
        int card;
        u32 port;
        Card plugged = {0x15218086, 1, 0};
    } cases[] = {
        {"Trelo-05", kBoard, 3}, {"Trelo-07", kBoard, 5},  {"Trelo-06", kBoard, 5}, {"Trelo-09", kBoard, 17},
        {"Trelo-11", kBoard, 9}, {"Trelo-12", kBoard, 9},  {"Vexa-06", kBoard, 5},  {"Vexa-06", kBoard, 0},
        {"Trelo-01", 8, 1},      {"Trelo-01", 0, 0},       {"Trelo-01", 0, 5},      {"Trelo-11", 0, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " port " + std::to_string(c.port));
        LoadModel(c.model, c.plugged);
        for (Op op : {Op::Status, Op::Enable, Op::Disable}) EXPECT_EQ(Call(op, c.card, c.port), 0u);
        EXPECT_TRUE(Log().empty()) << Trace(Log());
        Unload();
    }
}

// Each board, driven by whatever family the library picks for it: every
// port of its panel gets power from the enable and loses it at the disable,
// the status follows, and the port after its last is refused. A family that
// drives another controller address or channel layout leaves the port dark.
class PoeEveryBoardTest : public PoeTest, public ::testing::WithParamInterface<sim::BoardModel> {};

TEST_P(PoeEveryBoardTest, EachPanelPortFollowsItsEnableAndDisable) {
    const sim::BoardModel& m = GetParam();
    LoadModel(m.name);
    const u8 ports = m.poe->portCount;
    for (u8 p = 1; p <= ports; ++p) {
        SCOPED_TRACE("port " + std::to_string(p));
        ASSERT_EQ(EnablePoEPort(p), 1);
        for (u8 q = 1; q <= ports; ++q) EXPECT_EQ(Powered(q), q == p) << "port " << int(q);
        EXPECT_EQ(GetStatusPoEPort(p), 1);
        ASSERT_EQ(DisablePoEPort(p), 1);
        EXPECT_FALSE(Powered(p));
        EXPECT_EQ(GetStatusPoEPort(p), 0);
    }
    EXPECT_EQ(EnablePoEPort(static_cast<u8>(ports + 1)), 0) << "the map ends where the panel ends";
}

INSTANTIATE_TEST_SUITE_P(Boards, PoeEveryBoardTest, ::testing::ValuesIn(sim::kBoardModels), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name) ch = (ch == '-' || ch == '+') ? '_' : ch;
    return name;
});

// The lock spans each whole enable and disable: four threads switching the
// four channels of one controller (registers 12h and 14h shared) lose none
// of each other's changes.
TEST_F(PoeTest, ConcurrentChangesOnOneControllerAllLand) {
    LoadModel("Trelo-11");
    const bool finalOn[] = {true, false, true, true};
    std::vector<std::thread> threads;
    for (u8 p = 1; p <= 4; ++p) {
        threads.emplace_back([p, on = finalOn[p - 1]] {
            for (int round = 0; round < 2; ++round) {
                EnablePoEPort(p);
                DisablePoEPort(p);
            }
            if (on) EnablePoEPort(p);
        });
    }
    for (std::thread& t : threads) t.join();
    for (u8 p = 1; p <= 4; ++p) EXPECT_EQ(Powered(p), finalOn[p - 1]) << "port " << int(p);
}

TEST_F(PoeTest, CardBehindABridgeIsFoundAndSwitched) {
    LoadModel("Trelo-05", kCard1563Idx7);  // switch on bus 3, the card's controller on bus 4
    ASSERT_NE(CurrentCard.load(), nullptr);
    EXPECT_STREQ(CurrentCard.load()->name, "8086:1563");
    EXPECT_EQ(PCI_EnablePoEPort(7, 3), 1);
    EXPECT_TRUE(sim::CardPoePort(Board(), 7, 3).powered);
    EXPECT_EQ(PCI_GetStatusPoEPort(7, 3), 1);
    EXPECT_EQ(PCI_DisablePoEPort(7, 3), 1);
    EXPECT_FALSE(sim::CardPoePort(Board(), 7, 3).powered);
}

}  // namespace
}  // namespace hx::test
