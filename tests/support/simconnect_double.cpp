// SimConnect test double (see simconnect_double.h): a simulator backend of its own, chosen by
// every open of a program linked with it.
#include "tests/support/simconnect_double.h"

#include <cstring>
#include <deque>

#include "platform/clock.h"
#include "platform/wait.h"
#include "simlink/backend.h"

namespace scd {

std::vector<std::string> calls;
std::vector<OpenCall> opens;
std::vector<DefinitionCall> definitions;
std::vector<MapCall> mappings;
std::vector<RequestCall> requests;
std::vector<SubscribeCall> subscriptions;
std::vector<TransmitCall> transmits;
int closes = 0;
int dispatches = 0;
DWORD last_send_id = 0;
HRESULT open_result = S_OK;
HRESULT dispatch_result = S_OK;
HANDLE handle = reinterpret_cast<HANDLE>(0x5C);
std::function<void()> on_dispatch;

namespace {

struct Queued {
    std::vector<std::uint8_t> bytes;
    DWORD cb;
};
std::deque<Queued> pending;

template <typename T>
void queue_record(T& record, DWORD id)
{
    record.dwSize = sizeof(T);
    record.dwVersion = 4;
    record.dwID = id;
    queue_raw(&record, sizeof(T), sizeof(T));
}

}  // namespace

void reset()
{
    calls.clear();
    opens.clear();
    definitions.clear();
    mappings.clear();
    requests.clear();
    subscriptions.clear();
    transmits.clear();
    closes = 0;
    dispatches = 0;
    last_send_id = 0;
    open_result = S_OK;
    dispatch_result = S_OK;
    on_dispatch = nullptr;
    pending.clear();
}

void queue_raw(const void* message, std::size_t size, DWORD cb)
{
    // Exactly `cb` bytes are owned, so AddressSanitizer catches any read past the reported size.
    Queued q;
    q.bytes.assign(cb, 0);
    std::memcpy(q.bytes.data(), message, size < cb ? size : cb);
    q.cb = cb;
    pending.push_back(std::move(q));
}

void queue_open()
{
    SIMCONNECT_RECV_OPEN r{};
    std::strcpy(r.szApplicationName, "SimConnect test double");
    queue_record(r, SIMCONNECT_RECV_ID_OPEN);
}

void queue_quit()
{
    SIMCONNECT_RECV_QUIT r{};
    queue_record(r, SIMCONNECT_RECV_ID_QUIT);
}

void queue_event(DWORD event_id, DWORD data)
{
    SIMCONNECT_RECV_EVENT r{};
    r.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    r.uEventID = event_id;
    r.dwData = data;
    queue_record(r, SIMCONNECT_RECV_ID_EVENT);
}

void queue_exception(DWORD exception, DWORD send_id, DWORD index)
{
    SIMCONNECT_RECV_EXCEPTION r{};
    r.dwException = exception;
    r.dwSendID = send_id;
    r.dwIndex = index;
    queue_record(r, SIMCONNECT_RECV_ID_EXCEPTION);
}

void queue_id(DWORD id)
{
    SIMCONNECT_RECV r{};
    queue_record(r, id);
}

void queue_object_data(DWORD request_id, const void* block, std::size_t size, DWORD cb)
{
    constexpr std::size_t header = SIMOBJECT_DATA_HEADER_SIZE;
    std::vector<std::uint8_t> bytes(header + size);
    SIMCONNECT_RECV_SIMOBJECT_DATA h{};
    h.dwSize = static_cast<DWORD>(bytes.size());
    h.dwVersion = 4;
    h.dwID = SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
    h.dwRequestID = request_id;
    h.dwDefineID = 0;
    h.dwentrynumber = 1;
    h.dwoutof = 1;
    h.dwDefineCount = 1;
    std::memcpy(bytes.data(), &h, header);
    if (size) std::memcpy(bytes.data() + header, block, size);
    queue_raw(bytes.data(), bytes.size(), cb);
}

void queue_object_data(DWORD request_id, const void* block, std::size_t size)
{
    queue_object_data(request_id, block, size,
                      static_cast<DWORD>(SIMOBJECT_DATA_HEADER_SIZE + size));
}

std::vector<DWORD> transmitted_events()
{
    std::vector<DWORD> ids;
    for (const auto& t : transmits) ids.push_back(t.event_id);
    return ids;
}

}  // namespace scd

namespace {

using namespace scd;

HRESULT open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32, HANDLE hEventHandle,
             DWORD ConfigIndex)
{
    calls.push_back("Open");
    // The double cannot tell when its messages come, so the loop's wait with it lets one
    // millisecond pass through plat_sleep_ms and finds nothing ready, unless a test put a wait
    // of its own in place; a simulator socket published as the network client publishes its
    // connection wakes it when readable.
    if (plat_wait.wait == plat_wait_os.wait)
        plat_wait.wait = [](const PlatWaitSources&, long long) -> unsigned {
            plat_sleep_ms(1);
            if (plat_wait_sim_socket != PLAT_INVALID_SOCKET && plat_net.readable(plat_wait_sim_socket) == 1)
                return PLAT_WAKE_SIM;
            return 0;
        };
    opens.push_back({szName ? szName : "", hWnd, UserEventWin32, hEventHandle, ConfigIndex});
    last_send_id = 1;
    if (phSimConnect) *phSimConnect = SUCCEEDED(open_result) ? handle : nullptr;
    return open_result;
}

HRESULT close(HANDLE)
{
    calls.push_back("Close");
    ++closes;
    return S_OK;
}

HRESULT dispatch(HANDLE, DispatchProc pfcnDispatch, void* pContext)
{
    calls.push_back("CallDispatch");
    ++dispatches;
    if (on_dispatch) on_dispatch();
    if (FAILED(dispatch_result)) return dispatch_result;
    // Only what was queued before this dispatch began is handed over now.
    std::deque<Queued> batch;
    batch.swap(pending);
    for (Queued& q : batch)
        pfcnDispatch(reinterpret_cast<SIMCONNECT_RECV*>(q.bytes.data()), q.cb, pContext);
    return S_OK;
}

HRESULT subscribe(HANDLE, SIMCONNECT_CLIENT_EVENT_ID EventID, const char* SystemEventName)
{
    calls.push_back("Subscribe");
    ++last_send_id;
    subscriptions.push_back({EventID, SystemEventName ? SystemEventName : ""});
    return S_OK;
}

HRESULT define(HANDLE, SIMCONNECT_DATA_DEFINITION_ID DefineID, const char* DatumName, const char* UnitsName,
               SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID)
{
    calls.push_back("AddToDataDefinition");
    definitions.push_back({++last_send_id, DefineID, DatumName ? DatumName : "", UnitsName == nullptr,
                           UnitsName ? UnitsName : "", DatumType, fEpsilon, DatumID});
    return S_OK;
}

HRESULT request_data(HANDLE, SIMCONNECT_DATA_REQUEST_ID RequestID, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                     SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period, SIMCONNECT_DATA_REQUEST_FLAG Flags,
                     DWORD origin, DWORD interval, DWORD limit)
{
    calls.push_back("RequestData");
    ++last_send_id;
    requests.push_back({RequestID, DefineID, ObjectID, Period, Flags, origin, interval, limit});
    return S_OK;
}

HRESULT map_event(HANDLE, SIMCONNECT_CLIENT_EVENT_ID EventID, const char* EventName)
{
    calls.push_back("MapEvent");
    mappings.push_back({++last_send_id, EventID, EventName ? EventName : ""});
    return S_OK;
}

HRESULT transmit(HANDLE, SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                 SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG Flags)
{
    calls.push_back("Transmit");
    ++last_send_id;
    transmits.push_back({ObjectID, EventID, dwData, GroupID, Flags});
    return S_OK;
}

HRESULT last_sent(HANDLE, DWORD* pdwSendID)
{
    if (pdwSendID == nullptr) return E_FAIL;
    *pdwSendID = last_send_id;
    return S_OK;
}

const ZvlinkBackend double_backend = {
    "test double", open, close, dispatch, subscribe, define, request_data, map_event, transmit, last_sent,
};

}  // namespace

// Every open of a program linked with the double meets the double.
const ZvlinkBackend* zvlink_choose(DWORD) { return &double_backend; }
