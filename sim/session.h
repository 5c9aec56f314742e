// One client's session with the built-in simulator: its data definitions, data requests, event
// mappings and system-event subscriptions, and the messages waiting for its next dispatch. A
// session works on a Simulation it does not own.
//
// Protocol as the client sees it:
// - The open message comes first (queue_open).
// - A request the simulator cannot carry out comes back as an exception message carrying the
//   request's send id and the parameter's index (counting the parameters after the handle from
//   1); the request then has no effect.
// - A dispatch first hands over the messages waiting from before it (exceptions, events, the
//   quit message), then one data block per request that is due; frames the client was too slow
//   to take are never queued, so a late dispatch brings only the latest.
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

#include "platform/SimConnect.h"
#include "sim/events.h"
#include "sim/simulation.h"
#include "sim/variables.h"

namespace zvsim {

// The version word of the simulator's messages, and its application and SimConnect version.
inline constexpr DWORD SERVER_VERSION = 11;

enum class SystemEvent { SimStart, SimStop, OneSecond, FourSeconds, SixHertz };

struct SystemEventName {
    const char* name;
    SystemEvent event;
    long long every_frames;  // periodic events; 0 for the others
};

struct Datum {
    const Variable* var;
    Conversion conversion;
    SIMCONNECT_DATATYPE type;
    std::size_t size;
};

struct Definition {
    DWORD id;
    std::vector<Datum> datums;
    std::size_t size = 0;
};

struct Request {
    DWORD id = 0;
    DWORD define = 0;
    SIMCONNECT_PERIOD period = SIMCONNECT_PERIOD_NEVER;
    DWORD flags = 0;
    DWORD interval = 0;
    DWORD limit = 0;
    long long next_due = 0;  // in periods of `period`
    DWORD sent = 0;
    bool done = false;
    std::vector<unsigned char> last;  // the last block sent, for the "changed" flag
};

struct Mapping {
    DWORD id;
    const Event* event;  // null for the client's own events, which the simulator ignores
};

struct Subscription {
    DWORD id;
    const SystemEventName* event;
};

union Message {
    SIMCONNECT_RECV recv;
    SIMCONNECT_RECV_EXCEPTION exception;
    SIMCONNECT_RECV_OPEN open;
    SIMCONNECT_RECV_QUIT quit;
    SIMCONNECT_RECV_EVENT event;
};

struct Session {
    bool open = false;
    bool dispatching = false;
    bool quit_sent = false;
    std::vector<Definition> definitions;
    std::vector<Request> requests;
    std::vector<Mapping> mappings;
    std::vector<Subscription> subscriptions;
    std::deque<Message> pending;
    std::vector<unsigned char> data_message;  // reused for every data block
    void* event = nullptr;                    // the client's, signalled when there is something
};

// The client's requests, each numbered `send_id` for its exception.
void subscribe(Session& s, DWORD send_id, DWORD event_id, const char* name);
void define(Session& s, DWORD send_id, DWORD define_id, const char* name, const char* units, SIMCONNECT_DATATYPE type);
void request_data(Session& s, const Simulation& sim, DWORD send_id, DWORD request_id, DWORD define_id,
                  DWORD object_id, SIMCONNECT_PERIOD period, DWORD flags, DWORD origin, DWORD interval, DWORD limit);
void map_event(Session& s, DWORD send_id, DWORD event_id, const char* name);
void transmit(Session& s, Simulation& sim, DWORD send_id, DWORD object_id, DWORD event_id, DWORD data);

void queue_open(Session& s);
// The simulation stops ("SimStop" to its subscribers), then the quit message.
void queue_quit(Session& s);
// The periodic system events of the frames after `before` up to the simulation's present one.
void queue_periodic_events(Session& s, const Simulation& sim, long long before);

// Hands the waiting messages, then the data blocks due, to `proc`; stops once the session is
// closed or has handed over its quit message. The procedure may make requests (they wait for
// the next dispatch) and close the session.
void deliver_pending(Session& s, DispatchProc proc, void* context);
void deliver_data(Session& s, const Simulation& sim, DispatchProc proc, void* context);

}  // namespace zvsim
