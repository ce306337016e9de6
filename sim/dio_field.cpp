#include "sim/dio_field.h"

#include "sim/board_links.h"
#include "sim/dio_board.h"
#include "sim/firmware/dicos_engine.h"
#include "sim/models.h"
#include "sim/virtual_board.h"

namespace hx::sim {
namespace {

const DioWiring* BoardDio() {
    const BoardModel* model = FindBoardModel(TheBoardState().model);
    return model ? model->dio : nullptr;
}

u32 Bit(u32 line) { return u32{1} << line; }

// Outputs of a port-mapped connector as the field sees them: what the
// drivers put out, while every gate on their enable holds.
u32 PortMappedOutputs(const DioWiring& dio) { return DioGatesHold(dio.outputGates) ? DioDrivenOutputs(dio) : 0; }

}  // namespace

FieldLines ReadFieldLines() {
    const DioWiring* dio = BoardDio();
    if (!dio || dio->attach == DioAttach::None) return {};
    FieldLines lines{dio->inputs, dio->outputs, 0, 0};
    if (dio->attach == DioAttach::Mcu) {
        const LinksLock hold;  // the firmware may be answering in its own thread
        lines.inputsActive = TheLinks().mcu.diActive;
        lines.outputsOn = TheLinks().mcu.doOn;
    } else {
        lines.inputsActive = TheBoardState().dioField.inputsActive;
        lines.outputsOn = PortMappedOutputs(*dio);
    }
    return lines;
}

// The MCU watches the inputs in its own thread: the change and what its DI
// change engine makes of it happen under the links' lock; an event it
// raised goes out soon after.
bool DriveFieldInput(u32 line, bool active) {
    const DioWiring* dio = BoardDio();
    if (!dio || line >= dio->inputs) return false;
    const LinksLock hold;
    McuFirmwareState& mcu = TheLinks().mcu;
    u32 before = 0, after = 0;
    if (dio->attach == DioAttach::Mcu) {
        before = mcu.diActive;
        after = active ? before | Bit(line) : before & ~Bit(line);
        mcu.diActive = static_cast<u16>(after);
    } else {
        u32& lines = TheBoardState().dioField.inputsActive;
        before = lines;
        after = lines = active ? before | Bit(line) : before & ~Bit(line);
    }
    if (DicosInputsChanged(mcu, dio->mcuEvents, before, after)) KickLinks();
    return true;
}

}  // namespace hx::sim
