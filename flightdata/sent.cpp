// The requests of this connection by send id (see sent.h).
#include "flightdata/sent.h"

#include "flightdata/record.h"

ZvpyxplSentState zvpyxpl_fd_sent;

void zvpyxpl_fd_sent_reset()
{
    zvpyxpl_fd_sent.registrations.clear();
    zvpyxpl_fd_sent.transmissions = {};
    zvpyxpl_fd_sent.next_transmission = 0;
}

void zvpyxpl_fd_sent_note(ZvpyxplSentKind kind, const char* name, const char* units)
{
    if (name == nullptr && kind != ZvpyxplSentKind::DataRequest) return;
    DWORD send_id = 0;
    if (FAILED(SimConnect_GetLastSentPacketID(hSimConnect, &send_id)) || send_id == 0) return;
    ZvpyxplSentState& s = zvpyxpl_fd_sent;
    ZvpyxplSent sent{send_id, kind, name, units};
    if (kind == ZvpyxplSentKind::Transmission) {
        s.transmissions[s.next_transmission] = sent;
        s.next_transmission = (s.next_transmission + 1) % ZVPYXPL_SENT_TRANSMISSIONS;
        return;
    }
    if (kind == ZvpyxplSentKind::DataRequest)
        for (ZvpyxplSent& r : s.registrations)
            if (r.kind == ZvpyxplSentKind::DataRequest) {
                r = sent;
                return;
            }
    s.registrations.push_back(sent);
}

const ZvpyxplSent* zvpyxpl_fd_sent_find(DWORD send_id)
{
    if (send_id == SIMCONNECT_RECV_EXCEPTION::UNKNOWN_SENDID) return nullptr;
    for (const ZvpyxplSent& r : zvpyxpl_fd_sent.registrations)
        if (r.send_id == send_id) return &r;
    for (const ZvpyxplSent& t : zvpyxpl_fd_sent.transmissions)
        if (t.send_id == send_id) return &t;
    return nullptr;
}
