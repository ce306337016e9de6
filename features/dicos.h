// DI change of state (DICOS), families C1, C2 and C3: the MCU watches the
// isolated inputs and reports each change as an event; the receive thread of
// the MCU command link turns it into a call of the application's callback.
//
//   C1  framed exchanges under the library lock; 8-bit event frames.
//   C2  the older short commands, written and read on the link directly, the
//       lock held only by the stop; 3-byte DI messages, the input state read
//       from the GPIO block.
//   C3  framed exchanges under the library lock, two setup words; 16-bit
//       event frames. The process that holds the MCU port serves the others'
//       DIO; one that does not opens the sharing objects and refuses.
#pragma once

#include "core/platform_ops.h"

namespace hx {
namespace dicos {

Bool32 SetupC1(DicosSetup* setup, u32 size);
Bool32 StartC1();
Bool32 StopC1();

Bool32 SetupC2(DicosSetup* setup, u32 size);
Bool32 StartC2();
Bool32 StopC2();

Bool32 SetupC3(DicosSetup* setup, u32 size);
Bool32 StartC3();
Bool32 StopC3();

}  // namespace dicos

inline constexpr DicosOps C1{"C1", &dicos::SetupC1, &dicos::StartC1, &dicos::StopC1};
inline constexpr DicosOps C2{"C2", &dicos::SetupC2, &dicos::StartC2, &dicos::StopC2};
inline constexpr DicosOps C3{"C3", &dicos::SetupC3, &dicos::StartC3, &dicos::StopC3};

}  // namespace hx
