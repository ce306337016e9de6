#include "sim/models.h"

#include <cstring>

namespace hx::sim {

// Product names as the boards' firmware reports them: the model name, at
// times with a variant suffix, which still selects the model's table.
const BoardModel kBoardModels[kBoardModelCount] = {
    {"Trelo-01", "Trelo-01", "Trelo-01 Mainboard"},
    {"Trelo-02", "Trelo-02", "Trelo-02 Mainboard"},
    {"Trelo-03+", "Trelo-03+", "Trelo-03+ Mainboard"},
    {"Trelo-03", "Trelo-03", "Trelo-03 Mainboard"},
    {"Trelo-04", "Trelo-04", "Trelo-04 Mainboard"},
    {"Trelo-05", "Trelo-05A", "Trelo-05 Mainboard"},
    {"Trelo-06", "Trelo-06", "Trelo-06 Mainboard"},
    {"Trelo-07", "Trelo-07", "Trelo-07 Mainboard"},
    {"Trelo-08", "Trelo-08", "Trelo-08 Mainboard"},
    {"Qantis-01", "Qantis-01", "Qantis-01 Mainboard"},
    {"Trelo-09", "Trelo-09", "Trelo-09 Mainboard"},
    {"Trelo-10", "Trelo-10", "Trelo-10 Mainboard"},
    {"Trelo-11", "Trelo-11", "Trelo-11 Mainboard"},
    {"Trelo-12", "Trelo-12", "Trelo-12 Mainboard"},
    {"Qantis-02", "Qantis-02", "Qantis-02 Mainboard"},
    {"Trelo-13", "Trelo-13", "Trelo-13 Mainboard"},
    {"Trelo-14", "Trelo-14", "Trelo-14 Mainboard"},
    {"Trelo-15", "Trelo-15", "Trelo-15 Mainboard"},
    {"Trelo-16", "Trelo-16", "Trelo-16 Mainboard"},
    {"Trelo-17", "Trelo-17", "Trelo-17 Mainboard"},
    {"Trelo-18", "Trelo-18", "Trelo-18 Mainboard"},
    {"Trelo-19", "Trelo-19", "Trelo-19 Mainboard"},
    {"Ondra-01", "Ondra-01", "Ondra-01 Mainboard"},
    {"Vexa-01", "Vexa-01", "Vexa-01 Mainboard"},
    {"Vexa-02", "Vexa-02", "Vexa-02 Mainboard"},
    {"Vexa-03", "Vexa-03", "Vexa-03 Mainboard"},
    {"Vexa-04", "Vexa-04", "Vexa-04 Mainboard"},
    {"Vexa-05", "Vexa-05", "Vexa-05 Mainboard"},
    {"Vexa-06", "Vexa-06E", "Vexa-06 Mainboard"},
};

const BoardModel* FindBoardModel(const char* name) {
    if (!name) return nullptr;
    for (const BoardModel& m : kBoardModels) {
        if (std::strcmp(m.name, name) == 0) return &m;
    }
    return nullptr;
}

}  // namespace hx::sim
