// Fuzz target: the built-in simulator's client API. Sequences of SimConnect calls with any
// handle, names, units, data types, periods, flags, intervals and events, dispatches whose
// procedure makes calls of its own (a nested dispatch, a close, a new open among them), and
// the simulator's clock moving on, standing still, going back or turning into any double.
// Every message handed to a procedure is checked against its stated size and read whole.
//
// Input, a run of operations, each a byte and its fields. A handle is a byte (0 none, 1 a
// made-up one, else the open connection's); a name is a byte below 0x80 picking a known name,
// or another byte followed by a text (a length byte and the characters).
//   0 open
//   1 close: handle
//   2 dispatch: handle, procedure or none (byte); the procedure reads, for every message it is
//     handed, how many operations (byte, 0 to 3) it carries out before it returns
//   3 add to definition: handle, definition, variable name, units (a byte below 0xA0 picks the
//     units of a variable of the program's definition, one below 0xE0 other units, any other
//     is followed by a text), whether the units are null (byte), data type (byte)
//   4 request data: handle, request, definition, object (0xFF: four bytes follow), period,
//     flags, origin, interval, limit (a byte each)
//   5 map event: handle, event, whether the name is null (byte), event name
//   6 transmit: handle, object (0xFF: four bytes follow), event, data, flags (4 bytes each)
//   7 subscribe: handle, event, whether the name is null (byte), system event name
//   8 clock moves on: milliseconds (2 bytes)
//   9 clock set: any double (8 bytes)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "flightdata/flightdata.h"
#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "platform/SimConnect.h"
#include "sim/sim.h"

using namespace zvfuzz;

namespace {

constexpr const char* SYSTEM_EVENT_NAMES[] = {"SimStart", "SimStop", "1sec", "4sec", "6Hz", "Frame", ""};
constexpr const char* UNIT_NAMES[] = {"feet", "meters", "knots", "degrees", "radians", "bool", "number",
                                      "inHg", "millibars", "Mhz", "kHz", "Frequency BCD16", "Bco16",
                                      "celsius", "mach", "percent over 100", "feet per minute", "string"};

Input* in = nullptr;
HANDLE handle = nullptr;
double clock_now = 1.7e9;
int depth = 0;
std::string name_buffer;

double fuzz_clock() { return clock_now; }

HANDLE pick_handle()
{
    switch (in->u8() % 8) {
    case 0: return nullptr;
    case 1: return reinterpret_cast<HANDLE>(0x1234);
    default: return handle;
    }
}

// A known name, or any text; the pointer stays valid until the next call.
const char* pick_name(const char* const* known, std::size_t count)
{
    std::uint8_t b = in->u8();
    name_buffer = b < 0x80 ? known[b % count] : in->text();
    return name_buffer.c_str();
}

const char* variable_name()
{
    const char* names[FLIGHT_VARIABLE_COUNT];
    for (std::size_t i = 0; i < FLIGHT_VARIABLE_COUNT; ++i) names[i] = flightVariables[i].name;
    return pick_name(names, FLIGHT_VARIABLE_COUNT);
}

const char* event_name()
{
    const char* names[FLIGHT_EVENT_COUNT];
    for (std::size_t i = 0; i < FLIGHT_EVENT_COUNT; ++i) names[i] = flightEvents[i].name;
    return pick_name(names, FLIGHT_EVENT_COUNT);
}

// The units of a variable of the program's definition (a byte below 0xA0), another known
// unit (below 0xE0) or any text.
const char* unit_name()
{
    std::uint8_t b = in->u8();
    if (b < 0xA0) {
        const char* units = flightVariables[b % FLIGHT_VARIABLE_COUNT].units;
        name_buffer = units != nullptr ? units : "";
    } else if (b < 0xE0) {
        name_buffer = UNIT_NAMES[b % std::size(UNIT_NAMES)];
    } else {
        name_buffer = in->text();
    }
    return name_buffer.c_str();
}

void run_operations(unsigned int count);

void CALLBACK procedure(SIMCONNECT_RECV* msg, DWORD cb, void* context)
{
    check(context == &handle, "dispatch context lost");
    check(msg != nullptr && cb >= sizeof(SIMCONNECT_RECV), "message shorter than its header");
    check(msg->dwSize == cb, "message size differs from the size handed over");
    check(msg->dwID >= SIMCONNECT_RECV_ID_EXCEPTION && msg->dwID <= SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE,
          "message of an unknown kind");
    if (msg->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA)
        check(cb >= SIMOBJECT_DATA_HEADER_SIZE, "data message shorter than its header");
    // Read whole, so that a message reaching past its storage shows.
    void* copy = std::malloc(cb);
    std::memcpy(copy, msg, cb);
    std::free(copy);
    run_operations(in->u8() % 4);
}

void run_operation()
{
    switch (in->u8() % 10) {
    case 0: {
        HANDLE h = nullptr;
        HRESULT r = SimConnect_Open(&h, "fuzz", nullptr, 0, nullptr, 0);
        check(SUCCEEDED(r) == (h != nullptr), "open result and handle disagree");
        if (h != nullptr) handle = h;
        break;
    }
    case 1: SimConnect_Close(pick_handle()); break;
    case 2: {
        HANDLE h = pick_handle();
        bool with_procedure = (in->u8() & 7) != 0;
        if (depth > 3) break;
        ++depth;
        SimConnect_CallDispatch(h, with_procedure ? procedure : nullptr, &handle);
        --depth;
        break;
    }
    case 3: {
        HANDLE h = pick_handle();
        DWORD define = in->u8() % 4;
        std::string var = variable_name();
        const char* units = unit_name();
        bool null_units = (in->u8() & 15) == 0;
        auto type = static_cast<SIMCONNECT_DATATYPE>(in->u8() % 14);
        SimConnect_AddToDataDefinition(h, define, var.c_str(), null_units ? nullptr : units, type);
        break;
    }
    case 4: {
        HANDLE h = pick_handle();
        DWORD request = in->u8() % 4;
        DWORD define = in->u8() % 4;
        DWORD object = in->u8() == 0xFF ? in->u32() : SIMCONNECT_OBJECT_ID_USER;
        auto period = static_cast<SIMCONNECT_PERIOD>(in->u8() % 7);
        DWORD flags = in->u8();
        DWORD origin = in->u8(), interval = in->u8(), limit = in->u8();
        SimConnect_RequestDataOnSimObject(h, request, define, object, period, flags, origin, interval, limit);
        break;
    }
    case 5: {
        HANDLE h = pick_handle();
        DWORD event = in->u8() % 64;
        bool null_name = (in->u8() & 15) == 0;
        const char* name = event_name();
        SimConnect_MapClientEventToSimEvent(h, event, null_name ? nullptr : name);
        break;
    }
    case 6: {
        HANDLE h = pick_handle();
        DWORD object = in->u8() == 0xFF ? in->u32() : SIMCONNECT_OBJECT_ID_USER;
        DWORD event = in->u8() % 64;
        DWORD value = in->u32();
        DWORD flags = in->u32();
        SimConnect_TransmitClientEvent(h, object, event, value, SIMCONNECT_GROUP_PRIORITY_HIGHEST, flags);
        break;
    }
    case 7: {
        HANDLE h = pick_handle();
        DWORD event = in->u8() % 8;
        bool null_name = (in->u8() & 15) == 0;
        const char* name = pick_name(SYSTEM_EVENT_NAMES, std::size(SYSTEM_EVENT_NAMES));
        SimConnect_SubscribeToSystemEvent(h, event, null_name ? nullptr : name);
        break;
    }
    case 8: clock_now += in->u16() / 1000.0; break;
    default: clock_now = in->f64(); break;
    }
}

void run_operations(unsigned int count)
{
    for (unsigned int i = 0; i < count && !in->empty(); ++i) run_operation();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zvsim_clock = fuzz_clock;
    clock_now = 1.7e9;
    depth = 0;
    Input input(data, size);
    in = &input;
    HANDLE h = nullptr;
    check(SUCCEEDED(SimConnect_Open(&h, "fuzz", nullptr, 0, nullptr, 0)), "first open failed");
    handle = h;
    run_operations(4096);
    // Closing the connection the simulator holds leaves it as at process start: the last one
    // opened, which is not the first when the run closed that and opened another.
    SimConnect_Close(handle);
    SimConnect_Close(h);
    in = nullptr;
    return 0;
}
