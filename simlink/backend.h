// The seam between the program and the simulator it flies with: a table of the SimConnect
// operations the program uses, one table per backend (the built-in world, the replay of a
// recording, the tests' double, ...), chosen at each SimConnect_Open. Where the simulator's own
// library is not linked, the SimConnect_ functions forward to the chosen table (forward.cpp).
#pragma once

#include "platform/SimConnect.h"

struct ZvlinkBackend {
    const char* name;
    HRESULT (*open)(HANDLE* handle, LPCSTR name, HWND window, DWORD user_event, HANDLE event, DWORD config_index);
    HRESULT (*close)(HANDLE handle);
    HRESULT (*dispatch)(HANDLE handle, DispatchProc proc, void* context);
    HRESULT (*subscribe)(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* event_name);
    HRESULT (*define)(HANDLE handle, SIMCONNECT_DATA_DEFINITION_ID define_id, const char* datum_name,
                      const char* units_name, SIMCONNECT_DATATYPE type, float epsilon, DWORD datum_id);
    HRESULT (*request_data)(HANDLE handle, SIMCONNECT_DATA_REQUEST_ID request_id, SIMCONNECT_DATA_DEFINITION_ID define_id,
                            SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_PERIOD period, SIMCONNECT_DATA_REQUEST_FLAG flags,
                            DWORD origin, DWORD interval, DWORD limit);
    HRESULT (*map_event)(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* event_name);
    HRESULT (*transmit)(HANDLE handle, SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_CLIENT_EVENT_ID event_id, DWORD data,
                        SIMCONNECT_NOTIFICATION_GROUP_ID group_id, SIMCONNECT_EVENT_FLAG flags);
    HRESULT (*last_sent)(HANDLE handle, DWORD* send_id);
};

// The backend for an open with `config_index` (SimConnect_Open's ConfigIndex). Defined once
// where a program is linked, by what provides its simulator: the built-in simulator (sim/) or
// the tests' double. Never null.
const ZvlinkBackend* zvlink_choose(DWORD config_index);

// The forwarding layer's state: the backend the last SimConnect_Open chose, which every later
// call reaches (a call before the first open reaches the one an open of configuration 0 would
// choose).
struct ZvlinkState {
    const ZvlinkBackend* backend = nullptr;
};
extern ZvlinkState zvlink_state;
