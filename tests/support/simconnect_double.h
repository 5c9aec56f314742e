// SimConnect test double, a simulator backend behind the SimConnect functions: records every
// call the program makes, with its arguments, and hands queued messages to the dispatch
// procedure on the next SimConnect_CallDispatch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/SimConnect.h"

namespace scd {

struct OpenCall {
    std::string name;
    HWND hwnd;
    DWORD user_event;
    HANDLE event_handle;
    DWORD config_index;
};

struct DefinitionCall {
    DWORD send_id;
    DWORD define_id;
    std::string datum_name;
    bool units_null;
    std::string units;
    SIMCONNECT_DATATYPE type;
    float epsilon;
    DWORD datum_id;
};

struct MapCall {
    DWORD send_id;
    DWORD event_id;
    std::string event_name;
};

struct RequestCall {
    DWORD request_id, define_id, object_id;
    SIMCONNECT_PERIOD period;
    DWORD flags, origin, interval, limit;
};

struct SubscribeCall {
    DWORD event_id;
    std::string event_name;
};

struct TransmitCall {
    DWORD object_id, event_id, data, group_id, flags;
    bool operator==(const TransmitCall&) const = default;
};

// Everything the program has called, in order ("Open", "Close", "CallDispatch", "Subscribe",
// "AddToDataDefinition", "RequestData", "MapEvent", "Transmit"), without the send id queries.
extern std::vector<std::string> calls;
extern std::vector<OpenCall> opens;
extern std::vector<DefinitionCall> definitions;
extern std::vector<MapCall> mappings;
extern std::vector<RequestCall> requests;
extern std::vector<SubscribeCall> subscriptions;
extern std::vector<TransmitCall> transmits;
extern int closes;
extern int dispatches;
// The send id of the last request: the open is 1, each request after it (subscription,
// definition, data request, mapping, transmission) the next number, as SimConnect_GetLastSentPacketID
// tells it.
extern DWORD last_send_id;

// Result SimConnect_Open returns; S_OK unless a test changes it.
extern HRESULT open_result;
// Result SimConnect_CallDispatch returns; S_OK unless a test changes it. A failing dispatch
// hands nothing over, as a connection that stopped working.
extern HRESULT dispatch_result;
// The handle SimConnect_Open hands out.
extern HANDLE handle;
// The program's wait between passes, from the first SimConnect_Open on: one millisecond through
// plat_sleep_ms, nothing ready (a test may put its own wait in place first).

// Run at the start of every SimConnect_CallDispatch, before queued messages are handed over.
extern std::function<void()> on_dispatch;

// Queues a message for the next dispatch. `cb` is the size reported to the dispatch procedure.
void queue_raw(const void* message, std::size_t size, DWORD cb);
void queue_open();
void queue_quit();
void queue_event(DWORD event_id, DWORD data = 0);
void queue_exception(DWORD exception, DWORD send_id, DWORD index);
void queue_id(DWORD id);  // a bare SIMCONNECT_RECV with any id
// Object data: the header followed by `size` bytes of block; `cb` overrides the reported size.
void queue_object_data(DWORD request_id, const void* block, std::size_t size);
void queue_object_data(DWORD request_id, const void* block, std::size_t size, DWORD cb);

// Event ids of the transmissions so far.
std::vector<DWORD> transmitted_events();

// Everything as at process start: no calls recorded, nothing queued, the results S_OK.
void reset();

}  // namespace scd
