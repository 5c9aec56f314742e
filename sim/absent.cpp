// SimConnect as it behaves on a machine where no simulator answers: the connection cannot be
// opened, so the program ends right after its start-up messages.
#include "platform/SimConnect.h"

SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, LPCSTR, HWND, DWORD, HANDLE, DWORD)
{
    if (phSimConnect) *phSimConnect = nullptr;
    return E_FAIL;
}
SIMCONNECTAPI SimConnect_Close(HANDLE) { return E_FAIL; }
SIMCONNECTAPI SimConnect_CallDispatch(HANDLE, DispatchProc, void*) { return E_FAIL; }
SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char*) { return E_FAIL; }
SIMCONNECTAPI SimConnect_AddToDataDefinition(HANDLE, SIMCONNECT_DATA_DEFINITION_ID, const char*, const char*,
                                             SIMCONNECT_DATATYPE, float, DWORD)
{
    return E_FAIL;
}
SIMCONNECTAPI SimConnect_RequestDataOnSimObject(HANDLE, SIMCONNECT_DATA_REQUEST_ID, SIMCONNECT_DATA_DEFINITION_ID,
                                                SIMCONNECT_OBJECT_ID, SIMCONNECT_PERIOD, SIMCONNECT_DATA_REQUEST_FLAG,
                                                DWORD, DWORD, DWORD)
{
    return E_FAIL;
}
SIMCONNECTAPI SimConnect_MapClientEventToSimEvent(HANDLE, SIMCONNECT_CLIENT_EVENT_ID, const char*) { return E_FAIL; }
SIMCONNECTAPI SimConnect_TransmitClientEvent(HANDLE, SIMCONNECT_OBJECT_ID, SIMCONNECT_CLIENT_EVENT_ID, DWORD,
                                             SIMCONNECT_NOTIFICATION_GROUP_ID, SIMCONNECT_EVENT_FLAG)
{
    return E_FAIL;
}
