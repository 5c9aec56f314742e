// The CPFlight MCP/EFIS driver in one include: its state (cpflight/state.h), the serial link
// (cpflight/link.h), the start-up and display refresh (cpflight/refresh.h) and the decoding of
// the unit's commands (cpflight/decode.h).
#pragma once

#include "cpflight/decode.h"
#include "cpflight/link.h"
#include "cpflight/refresh.h"
#include "cpflight/state.h"
