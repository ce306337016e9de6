// DIO families: D1..D6, D9, D11 by GPIO registers in port space, D10 by
// memory-mapped pads, D7, D8, D12 carried by the MCU.
#pragma once

#include "dio/mcu_families.h"
#include "dio/port_families.h"
