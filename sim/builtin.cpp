// The built-in simulator's world as a simulator backend (see builtin.h). Owns the connections,
// their sessions, the world they fly, and the simulator's life cycle across connections.
#include "sim/builtin.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/wait.h"
#include "sim/controls.h"
#include "sim/session.h"
#include "sim/sim.h"
#include "sim/simulation.h"

namespace {

using namespace zvsim;

constexpr double RESTART_OFFLINE_S = 2.0;
constexpr double RESTART_SETBACK_S = 3600.0;
constexpr double TIME_OF_DAY_SETBACK_S = 3600.0;

struct Connection {
    Session session;
    DWORD send_id = 0;
    long long frame = 0;  // the world's frame this connection was last brought to
};

struct Builtin {
    // In process, one connection at a time and a fresh world at each open; shared (zvsim),
    // up to `most` connections on one world that lives across them.
    bool shared = false;
    std::size_t most = 1;
    std::vector<std::unique_ptr<Connection>> connections;  // open, or closed inside their dispatch
    Simulation sim;
    bool running = false;        // a world is there to fly
    double refused_until = 0.0;  // on zvsim_clock, after a restart
    double setback_s = 0.0;      // how far the next world's date lies behind the clock
};
Builtin builtin;

Connection* find(HANDLE h)
{
    for (const auto& c : builtin.connections)
        if (c.get() == h && c->session.open) return c.get();
    return nullptr;
}

void start_world()
{
    builtin.sim = start_simulation(zvsim_clock(), builtin.setback_s);
    builtin.running = true;
}

// A restart asked for by SIGUSR1: every open connection hears the quit message, connections are
// refused for a while, and the next world starts an hour earlier.
void take_restart()
{
    if (!zvsim_take_restart_request()) return;
    for (const auto& c : builtin.connections)
        if (c->session.open && !c->session.quit_sent) queue_quit(c->session);
    builtin.refused_until = zvsim_clock() + RESTART_OFFLINE_S;
    builtin.setback_s += RESTART_SETBACK_S;
    if (builtin.shared) builtin.running = false;
}

// The clock set back an hour, asked for by SIGUSR2.
void take_setback()
{
    if (!zvsim_take_setback_request() || !builtin.running) return;
    set_back(builtin.sim, TIME_OF_DAY_SETBACK_S);
}

bool refusing_connections() { return zvsim_offline_now() || zvsim_clock() < builtin.refused_until; }

void forget_closed()
{
    std::erase_if(builtin.connections,
                  [](const auto& c) { return !c->session.open && !c->session.dispatching; });
    if (!builtin.shared && builtin.connections.empty()) builtin.running = false;
}

// When a connection next has something for a dispatch, on the monotonic clock: now when
// messages wait, else the start of the next frame; -1 without a connection. The program waits
// for this rather than asking every millisecond.
long long next_due_ms()
{
    bool any = false;
    for (const auto& c : builtin.connections) {
        if (!c->session.open || c->session.quit_sent) continue;
        if (!c->session.pending.empty()) return plat_monotonic_ms();
        any = true;
    }
    return any && builtin.running ? next_frame_due_ms(builtin.sim) : -1;
}

HRESULT open(HANDLE* handle, LPCSTR, HWND, DWORD, HANDLE event, DWORD)
{
    zvsim_controls_install_signals();
    if (handle == nullptr) return E_FAIL;
    *handle = nullptr;
    if (builtin.connections.size() >= builtin.most) return E_FAIL;  // one connection at a time
    take_restart();
    if (refusing_connections()) return E_FAIL;  // as a simulator that is not running

    if (!builtin.shared || !builtin.running) start_world();
    Connection& c = *builtin.connections.emplace_back(std::make_unique<Connection>());
    c.session.open = true;
    c.send_id = 1;
    c.frame = builtin.sim.frame;
    c.session.event = event;
    queue_open(c.session);
    *handle = &c;
    plat_wait_sim_due_ms = next_due_ms;
    if (event != nullptr) {
        // Frames start at the open and every period after; each tick comes a millisecond after
        // its frame's start, so that the dispatch it brings finds the frame.
        constexpr double period_ms = 1000.0 / ZVSIM_FRAMES_PER_SECOND;
        plat_wait_start_ticks(event, plat_monotonic_ms() + std::llround(period_ms + 1.0), period_ms);
    }
    return S_OK;
}

HRESULT close(HANDLE handle)
{
    Connection* c = find(handle);
    if (c == nullptr) return E_FAIL;
    c->session.open = false;
    plat_wait_stop_ticks();
    forget_closed();  // a connection in its dispatch is forgotten once the dispatch is over
    return S_OK;
}

HRESULT dispatch(HANDLE handle, DispatchProc proc, void* context)
{
    Connection* c = find(handle);
    if (c == nullptr || proc == nullptr || c->session.dispatching || c->session.quit_sent) return E_FAIL;
    Session& s = c->session;
    s.dispatching = true;
    take_setback();
    advance(builtin.sim, zvsim_clock());
    queue_periodic_events(s, builtin.sim, c->frame);
    c->frame = builtin.sim.frame;
    take_restart();
    deliver_pending(s, proc, context);
    if (s.open && !s.quit_sent) deliver_data(s, builtin.sim, proc, context);
    s.dispatching = false;
    if (!s.open) {
        forget_closed();  // closed by the dispatch procedure
        return S_OK;
    }
    if (!s.pending.empty()) plat_wait_signal(s.event);
    return S_OK;
}

HRESULT subscribe(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* name)
{
    Connection* c = find(handle);
    if (c == nullptr) return E_FAIL;
    zvsim::subscribe(c->session, ++c->send_id, event_id, name);
    return S_OK;
}

HRESULT define(HANDLE handle, SIMCONNECT_DATA_DEFINITION_ID define_id, const char* name, const char* units,
               SIMCONNECT_DATATYPE type, float, DWORD)
{
    Connection* c = find(handle);
    if (c == nullptr) return E_FAIL;
    zvsim::define(c->session, ++c->send_id, define_id, name, units, type);
    return S_OK;
}

HRESULT request_data(HANDLE handle, SIMCONNECT_DATA_REQUEST_ID request_id, SIMCONNECT_DATA_DEFINITION_ID define_id,
                     SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_PERIOD period, SIMCONNECT_DATA_REQUEST_FLAG flags,
                     DWORD origin, DWORD interval, DWORD limit)
{
    Connection* c = find(handle);
    if (c == nullptr) return E_FAIL;
    zvsim::request_data(c->session, builtin.sim, ++c->send_id, request_id, define_id, object_id, period, flags,
                        origin, interval, limit);
    return S_OK;
}

HRESULT map_event(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* name)
{
    Connection* c = find(handle);
    if (c == nullptr) return E_FAIL;
    zvsim::map_event(c->session, ++c->send_id, event_id, name);
    return S_OK;
}

HRESULT transmit(HANDLE handle, SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_CLIENT_EVENT_ID event_id, DWORD data,
                 SIMCONNECT_NOTIFICATION_GROUP_ID, SIMCONNECT_EVENT_FLAG)
{
    Connection* c = find(handle);
    if (c == nullptr) return E_FAIL;
    zvsim::transmit(c->session, builtin.sim, ++c->send_id, object_id, event_id, data);
    return S_OK;
}

HRESULT last_sent(HANDLE handle, DWORD* send_id)
{
    Connection* c = find(handle);
    if (c == nullptr || send_id == nullptr) return E_FAIL;
    *send_id = c->send_id;
    return S_OK;
}

}  // namespace

const ZvlinkBackend zvsim_world_backend = {
    "built-in simulator", open, close, dispatch, subscribe, define, request_data, map_event, transmit, last_sent,
};

void zvsim_world_share(std::size_t most)
{
    builtin.shared = true;
    builtin.most = most;
    zvsim_controls_install_signals();
    plat_wait_sim_due_ms = next_due_ms;
    if (!refusing_connections()) start_world();
}

void zvsim_world_tick()
{
    take_setback();
    take_restart();
    if (builtin.shared && !builtin.running && !refusing_connections()) start_world();
    if (builtin.running) advance(builtin.sim, zvsim_clock());
}

bool zvsim_world_refusing() { return refusing_connections(); }

void zvsim_world_reset() { builtin = Builtin{}; }
