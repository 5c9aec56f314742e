// The flight data module in one include: the record and its tables, the readings, the commands,
// the values the program holds itself and what was sent to the simulator.
#pragma once

#include "flightdata/commands.h"
#include "flightdata/held.h"
#include "flightdata/readings.h"
#include "flightdata/record.h"
#include "flightdata/sent.h"
