#include "frame/catalog.h"

#include <cstring>

#include "dio/dio_families.h"
#include "features/feature_families.h"
#include "frame/platform_init.h"
#include "poe/poe_families.h"
#include "wdt/wdt_families.h"

namespace hx {

// clang-format off
// Search order matters: "Trelo-03+" contains "Trelo-03" and stands before it.
// {} leaves a group empty.
const PlatformOps PlatformCatalog[kPlatformCount] = {
//   model key     WDT DIO  DICOS PoE TRIG  IGN CAN PWM MCU LED ADC QEI DT2 init
    {"Trelo-01",   W1, D1,  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-02",   W1, D1,  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-03+",  W1, D1,  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-03",   W1, D2,  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-04",   W2, D3,  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-05",   W2, D4,  C1,   P1, T1,   G1, N1, M1, V1, L1, A1, Q1, E1, I1},
    {"Trelo-06",   W1, D5,  C2,   P2, T2,   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-07",   W1, D6,  C2,   P1, {},   G2, {}, {}, {}, {}, {}, {}, {}, I2},
    {"Trelo-08",   W1, D6,  C2,   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Qantis-01",  W1, D5,  C2,   P2, T2,   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-09",   W1, {},  {},   P3, {},   G2, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-10",   W1, D5,  C2,   {}, T2,   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-11",   W3, D7,  C3,   P4, T1,   G3, N1, M1, V1, L2, {}, Q1, E2, I3},
    {"Trelo-12",   W3, D7,  C3,   P5, T1,   G3, N1, {}, V1, {}, {}, {}, {}, I3},
    {"Qantis-02",  W3, D8,  C3,   P4, T1,   G3, N1, M1, V1, L2, {}, Q1, E2, I4},
    {"Trelo-13",   W3, D9,  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, I5},
    {"Trelo-14",   W3, D7,  C3,   P5, T1,   G3, N1, {}, V1, {}, {}, {}, {}, I3},
    {"Trelo-15",   W3, {},  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Trelo-16",   W4, D7,  C3,   P4, T1,   G3, N1, M1, V1, L2, {}, Q1, E2, I6},
    {"Trelo-17",   W4, D7,  C3,   P5, T1,   G3, N1, {}, V1, {}, {}, {}, {}, I7},
    {"Trelo-18",   W4, D9,  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, I8},
    {"Trelo-19",   W4, {},  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Ondra-01",   W2, D10, C2,   P2, T3,   {}, {}, {}, {}, L3, {}, {}, {}, I9},
    {"Vexa-01",    W1, {},  {},   {}, {},   {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {"Vexa-02",    W1, D7,  C3,   {}, T1,   {}, {}, {}, {}, {}, {}, {}, {}, I10},
    {"Vexa-03",    W2, D11, {},   P1, {},   {}, {}, {}, {}, {}, {}, {}, {}, I2},
    {"Vexa-04",    W2, D12, C3,   P1, T1,   G3, N1, {}, V2, {}, {}, {}, {}, I11},
    {"Vexa-05",    W2, D12, C3,   P1, T1,   G3, N1, {}, V2, {}, {}, {}, {}, I11},
    {"Vexa-06",    W2, D12, C3,   P6, T1,   G3, N1, M1, V2, L2, {}, Q1, E2, I12},
};
// clang-format on

const ExpansionCardOps* const ExpansionCardCatalog[kExpansionCardCount] = {&kCard1521, &kCard1563};

const PlatformOps* MatchCatalog(const char* text) {
    if (!text || *text == '\0') return nullptr;
    for (const PlatformOps& row : PlatformCatalog) {
        if (std::strstr(text, row.modelKey)) return &row;
    }
    return nullptr;
}

const PlatformOps* FindPlatformByKey(const char* key) {
    if (!key) return nullptr;
    for (const PlatformOps& row : PlatformCatalog) {
        if (std::strcmp(key, row.modelKey) == 0) return &row;
    }
    return nullptr;
}

}  // namespace hx
