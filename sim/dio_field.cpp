#include "sim/dio_field.h"

#include "sim/board_links.h"
#include "sim/dio_board.h"
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

bool DriveFieldInput(u32 line, bool active) {
    const DioWiring* dio = BoardDio();
    if (!dio || line >= dio->inputs) return false;
    if (dio->attach == DioAttach::Mcu) {
        const LinksLock hold;
        u16& lines = TheLinks().mcu.diActive;
        lines = static_cast<u16>(active ? lines | Bit(line) : lines & ~Bit(line));
    } else {
        u32& lines = TheBoardState().dioField.inputsActive;
        lines = active ? lines | Bit(line) : lines & ~Bit(line);
    }
    return true;
}

}  // namespace hx::sim
