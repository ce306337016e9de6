// PoE tests: the SMBus transactions the board's host ran, as tokens, and a
// fixture that loads a model (with an expansion card plugged in if asked).
#pragma once

#include <string>

#include "halvex32.h"
#include "sim/chips/pse.h"
#include "sim/poe_board.h"
#include "virtual_fixture.h"
#include "wdt_trace.h"

namespace hx::test {

// An expansion card: network controller, the bus of its switch, address index.
struct Card {
    u32 nicId;
    u8 bridgeBus, index;
};

class PoeTest : public VirtualBoardTest {
protected:
    void LoadModel(const char* model, Card card = {}) {
        ASSERT_TRUE(sim::SetUpBoard(model)) << model;
        if (card.nicId) {
            ASSERT_TRUE(sim::PlaceExpansionCard(Board(), card.nicId, card.bridgeBus, card.index));
        }
        Load();
        sim::ClearAccessLog(Board());
    }
    static sim::BoardState& Board() { return sim::TheBoardState(); }
    static void SetRegister(u8 address, u8 reg, u8 value) {
        sim::PseControllerState* c = sim::TheSmbusHost().Controller(address);
        ASSERT_NE(c, nullptr) << "no controller at " << Hex(address, 2);
        c->regs[reg] = value;
    }
    // "41:12>03" a read of 03h, "40:12=0F" a write (address byte:register);
    // a trailing "!" when no device acknowledged. The log is cleared.
    static std::string Transfers() {
        std::string out;
        sim::SmbusState& s = Board().smbus;
        for (u32 i = 0; i < s.logCount; ++i) {
            const sim::SmbusTransfer& t = s.log[i];
            out += (out.empty() ? "" : " ") + Hex(t.addressByte, 2) + ":" + Hex(t.command, 2) +
                   (t.addressByte & 1 ? ">" : "=") + Hex(t.data, 2) + (t.acked ? "" : "!");
        }
        s.logCount = 0;
        return out;
    }
    static bool Powered(u8 port) { return sim::BoardPoePort(Board(), port).powered; }
};

}  // namespace hx::test
