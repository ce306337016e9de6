// Families of the MCU-based features: DICOS C1..C3, DTIO/DTFO T1..T3,
// ignition G1..G3, CAN N1, PWM M1, MCU V1/V2, LED L1..L3, ADC A1, QEI Q1,
// DT2 E1/E2, one header per feature.
#pragma once

#include "features/adc.h"
#include "features/can.h"
#include "features/dicos.h"
#include "features/dt2.h"
#include "features/ignition.h"
#include "features/led.h"
#include "features/mcu_maintenance.h"
#include "features/pwm.h"
#include "features/qei.h"
#include "features/trigger_io.h"
