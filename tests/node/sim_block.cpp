// Writes, as JSON on standard output, the program's data definition (every row's name, units,
// type, offset and size) and the block the in-process built-in simulator gives the program for
// it at the first frame of a fresh world and two seconds later: what tests/node/zvsim.js expects
// zvsim to serve a client that registers the same rows.
#include <cstdio>
#include <string>
#include <vector>

#include "flightdata/flightdata.h"
#include "platform/SimConnect.h"
#include "sim/sim.h"

namespace {

double now = 1700000000.0;
double test_clock() { return now; }

std::vector<unsigned char> block;

void CALLBACK keep_block(SIMCONNECT_RECV* m, DWORD size, void*)
{
    if (m->dwID != SIMCONNECT_RECV_ID_SIMOBJECT_DATA || size < SIMOBJECT_DATA_HEADER_SIZE) return;
    auto* bytes = reinterpret_cast<const unsigned char*>(m);
    block.assign(bytes + SIMOBJECT_DATA_HEADER_SIZE, bytes + size);
}

std::string hex(const std::vector<unsigned char>& bytes)
{
    std::string out;
    char two[3];
    for (unsigned char b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

}  // namespace

int main()
{
    zvsim_clock = test_clock;
    HANDLE h = nullptr;
    if (FAILED(SimConnect_Open(&h, "sim_block", nullptr, 0, nullptr, 0))) return 1;
    std::printf("{\"rows\": [");
    for (std::size_t i = 0; i < FLIGHT_VARIABLE_COUNT; ++i) {
        const FlightVariable& row = flightVariables[i];
        SimConnect_AddToDataDefinition(h, 0, row.name, row.units, row.type);
        std::printf("%s\n  {\"name\": \"%s\", \"units\": %s%s%s, \"type\": %d, \"offset\": %zu, \"size\": %u}",
                    i > 0 ? "," : "", row.name, row.units ? "\"" : "", row.units ? row.units : "null",
                    row.units ? "\"" : "", static_cast<int>(row.type), row.offset,
                    simconnect_datatype_size(row.type));
    }
    SimConnect_RequestDataOnSimObject(h, 0, 0, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_VISUAL_FRAME);
    SimConnect_CallDispatch(h, keep_block, nullptr);
    std::string first = hex(block);
    now += 2.0;
    SimConnect_CallDispatch(h, keep_block, nullptr);
    std::printf("],\n\"first\": \"%s\",\n\"later\": \"%s\"}\n", first.c_str(), hex(block).c_str());
    SimConnect_Close(h);
    return block.size() == sizeof(FlightData) ? 0 : 1;
}
