// The 29 board models of the virtual board. Each names what its SMBIOS data
// reports; later subsystems add the chips each board carries.
#pragma once

#include <cstddef>

#include "frame/types.h"

namespace hx::sim {

struct BoardModel {
    const char* name;           // the catalog's model key
    const char* systemProduct;  // SMBIOS type 1 product name
    const char* boardProduct;   // SMBIOS type 2 product name
};

inline constexpr std::size_t kBoardModelCount = 29;
extern const BoardModel kBoardModels[kBoardModelCount];

// The model used when none is named: one that fills every group of slots.
inline constexpr char kDefaultModel[] = "Trelo-05";

const BoardModel* FindBoardModel(const char* name);

}  // namespace hx::sim
