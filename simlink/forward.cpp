// The SimConnect functions as this program calls them, each forwarding to the backend chosen by
// the last SimConnect_Open (backend.h).
#include "simlink/backend.h"

ZvlinkState zvlink_state;

namespace {

// A call before the first open reaches the backend an open of configuration 0 would choose.
const ZvlinkBackend* chosen()
{
    if (zvlink_state.backend == nullptr) zvlink_state.backend = zvlink_choose(0);
    return zvlink_state.backend;
}

}  // namespace

SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, LPCSTR szName, HWND hWnd, DWORD UserEventWin32,
                              HANDLE hEventHandle, DWORD ConfigIndex)
{
    zvlink_state.backend = zvlink_choose(ConfigIndex);
    return chosen()->open(phSimConnect, szName, hWnd, UserEventWin32, hEventHandle, ConfigIndex);
}

SIMCONNECTAPI SimConnect_Close(HANDLE hSimConnect)
{
    return chosen()->close(hSimConnect);
}

SIMCONNECTAPI SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext)
{
    return chosen()->dispatch(hSimConnect, pfcnDispatch, pContext);
}

SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                const char* SystemEventName)
{
    return chosen()->subscribe(hSimConnect, EventID, SystemEventName);
}

SIMCONNECTAPI SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                             const char* DatumName, const char* UnitsName,
                                             SIMCONNECT_DATATYPE DatumType, float fEpsilon, DWORD DatumID)
{
    return chosen()->define(hSimConnect, DefineID, DatumName, UnitsName, DatumType, fEpsilon, DatumID);
}

SIMCONNECTAPI SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID,
                                                SIMCONNECT_PERIOD Period, SIMCONNECT_DATA_REQUEST_FLAG Flags,
                                                DWORD origin, DWORD interval, DWORD limit)
{
    return chosen()->request_data(hSimConnect, RequestID, DefineID, ObjectID, Period, Flags, origin,
                                             interval, limit);
}

SIMCONNECTAPI SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                  const char* EventName)
{
    return chosen()->map_event(hSimConnect, EventID, EventName);
}

SIMCONNECTAPI SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                             SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                             SIMCONNECT_NOTIFICATION_GROUP_ID GroupID, SIMCONNECT_EVENT_FLAG Flags)
{
    return chosen()->transmit(hSimConnect, ObjectID, EventID, dwData, GroupID, Flags);
}

SIMCONNECTAPI SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID)
{
    return chosen()->last_sent(hSimConnect, pdwSendID);
}
