// Table rows for commands checked through the SimConnect double: a crafted last frame, an
// action, and the (event id, data) pairs it must transmit, in order.
#pragma once

#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "flightdata/flightdata.h"
#include "tests/support/simconnect_double.h"

using Sent = std::vector<std::pair<DWORD, DWORD>>;

inline Sent sent()
{
    Sent out;
    for (const auto& t : scd::transmits) out.emplace_back(t.event_id, t.data);
    return out;
}

struct CommandCase {
    const char* what;
    void (*frame)(FlightData&);  // the last frame the command looks at; the rest is zero
    void (*act)();
    Sent expected;
};

inline void check(const CommandCase& c)
{
    SCOPED_TRACE(c.what);
    std::memset(&fdata, 0, sizeof fdata);
    c.frame(fdata);
    scd::transmits.clear();
    c.act();
    EXPECT_EQ(sent(), c.expected);
}

#define DO(...) [] { __VA_ARGS__; }
#define FRAME(...) []([[maybe_unused]] FlightData& f) { __VA_ARGS__; }
