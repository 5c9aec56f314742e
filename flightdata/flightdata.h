// The flight data module in one include: the record and its tables, the readings, the commands
// and the values the program holds itself.
#pragma once

#include "flightdata/commands.h"
#include "flightdata/held.h"
#include "flightdata/readings.h"
#include "flightdata/record.h"
