// What this connection has sent the simulator, by the send id the library gave each request:
// every registration (the variables of the data definition, the event mappings, the system event
// subscription, the data request) and the last transmissions, so that an exception, which names
// only a send id, can be traced to what the simulator refused. Owns `zvpyxpl_fd_sent`.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "platform/SimConnect.h"

enum class ZvpyxplSentKind { Variable, Event, SystemEvent, DataRequest, Transmission };

struct ZvpyxplSent {
    DWORD send_id = 0;
    ZvpyxplSentKind kind = ZvpyxplSentKind::Variable;
    const char* name = nullptr;   // the variable, event or system event; null for the data request
    const char* units = nullptr;  // a variable's units; null otherwise
};

// Transmissions remembered, the latest ones; an exception comes back within a frame or two.
inline constexpr std::size_t ZVPYXPL_SENT_TRANSMISSIONS = 64;

struct ZvpyxplSentState {
    std::vector<ZvpyxplSent> registrations;
    std::array<ZvpyxplSent, ZVPYXPL_SENT_TRANSMISSIONS> transmissions{};
    std::size_t next_transmission = 0;
};
extern ZvpyxplSentState zvpyxpl_fd_sent;

// Forgets everything: a new connection numbers its requests afresh.
void zvpyxpl_fd_sent_reset();
// Takes the send id of the request just made (SimConnect_GetLastSentPacketID) and remembers what
// it was. A data request replaces the one before; a transmission the oldest of the last ones.
void zvpyxpl_fd_sent_note(ZvpyxplSentKind kind, const char* name, const char* units = nullptr);
// What went out under `send_id`, or null when it is not known.
const ZvpyxplSent* zvpyxpl_fd_sent_find(DWORD send_id);
