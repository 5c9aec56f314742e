// The built-in simulator's world as a simulator backend (see builtin.h). Owns the one
// connection: its session, the world it flies, and the simulator's life cycle across
// connections.
#include "sim/builtin.h"

#include <cmath>

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
    Simulation sim;
    DWORD send_id = 0;
};

// Whether connections are taken now and the date of the next world; lives for the process.
struct Lifecycle {
    double refused_until = 0.0;  // on zvsim_clock, after a restart
    double setback_s = 0.0;      // how far the next world's date lies behind the clock
};

struct Builtin {
    Connection conn;
    Lifecycle lifecycle;
};
Builtin builtin;

Connection& conn = builtin.conn;

bool connected(HANDLE h) { return h == &conn && conn.session.open; }

// A restart asked for by SIGUSR1: the open connection hears the quit message, and connections
// are refused for a while.
void take_restart()
{
    if (!zvsim_take_restart_request()) return;
    if (conn.session.open && !conn.session.quit_sent) queue_quit(conn.session);
    builtin.lifecycle.refused_until = zvsim_clock() + RESTART_OFFLINE_S;
    builtin.lifecycle.setback_s += RESTART_SETBACK_S;
}

// The clock set back an hour, asked for by SIGUSR2.
void take_setback()
{
    if (!zvsim_take_setback_request() || !conn.session.open) return;
    set_back(conn.sim, TIME_OF_DAY_SETBACK_S);
}

bool refusing_connections() { return zvsim_offline_now() || zvsim_clock() < builtin.lifecycle.refused_until; }

// When the connection next has something for a dispatch, on the monotonic clock: now when
// messages wait, else the start of the next frame; -1 without a connection. The program waits
// for this rather than asking every millisecond.
long long next_due_ms()
{
    if (!conn.session.open || conn.session.quit_sent) return -1;
    if (!conn.session.pending.empty()) return plat_monotonic_ms();
    return next_frame_due_ms(conn.sim);
}

HRESULT open(HANDLE* handle, LPCSTR, HWND, DWORD, HANDLE event, DWORD)
{
    zvsim_controls_install_signals();
    if (handle == nullptr) return E_FAIL;
    *handle = nullptr;
    if (conn.session.open || conn.session.dispatching) return E_FAIL;  // one connection at a time
    take_restart();
    if (refusing_connections()) return E_FAIL;  // as a simulator that is not running

    conn = Connection{};
    conn.session.open = true;
    conn.sim = start_simulation(zvsim_clock(), builtin.lifecycle.setback_s);
    conn.send_id = 1;
    conn.session.event = event;
    queue_open(conn.session);
    *handle = &conn;
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
    if (!connected(handle)) return E_FAIL;
    conn.session.open = false;
    plat_wait_stop_ticks();
    if (!conn.session.dispatching) conn = Connection{};  // else once the dispatch is over
    return S_OK;
}

HRESULT dispatch(HANDLE handle, DispatchProc proc, void* context)
{
    Session& s = conn.session;
    if (!connected(handle) || proc == nullptr || s.dispatching || s.quit_sent) return E_FAIL;
    s.dispatching = true;
    take_setback();
    long long before = advance(conn.sim, zvsim_clock());
    queue_periodic_events(s, conn.sim, before);
    take_restart();
    deliver_pending(s, proc, context);
    if (s.open && !s.quit_sent) deliver_data(s, conn.sim, proc, context);
    s.dispatching = false;
    if (!s.open) conn = Connection{};  // closed by the dispatch procedure
    if (!conn.session.pending.empty()) plat_wait_signal(conn.session.event);
    return S_OK;
}

HRESULT subscribe(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* name)
{
    if (!connected(handle)) return E_FAIL;
    zvsim::subscribe(conn.session, ++conn.send_id, event_id, name);
    return S_OK;
}

HRESULT define(HANDLE handle, SIMCONNECT_DATA_DEFINITION_ID define_id, const char* name, const char* units,
               SIMCONNECT_DATATYPE type, float, DWORD)
{
    if (!connected(handle)) return E_FAIL;
    zvsim::define(conn.session, ++conn.send_id, define_id, name, units, type);
    return S_OK;
}

HRESULT request_data(HANDLE handle, SIMCONNECT_DATA_REQUEST_ID request_id, SIMCONNECT_DATA_DEFINITION_ID define_id,
                     SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_PERIOD period, SIMCONNECT_DATA_REQUEST_FLAG flags,
                     DWORD origin, DWORD interval, DWORD limit)
{
    if (!connected(handle)) return E_FAIL;
    zvsim::request_data(conn.session, conn.sim, ++conn.send_id, request_id, define_id, object_id, period, flags,
                        origin, interval, limit);
    return S_OK;
}

HRESULT map_event(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* name)
{
    if (!connected(handle)) return E_FAIL;
    zvsim::map_event(conn.session, ++conn.send_id, event_id, name);
    return S_OK;
}

HRESULT transmit(HANDLE handle, SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_CLIENT_EVENT_ID event_id, DWORD data,
                 SIMCONNECT_NOTIFICATION_GROUP_ID, SIMCONNECT_EVENT_FLAG)
{
    if (!connected(handle)) return E_FAIL;
    zvsim::transmit(conn.session, conn.sim, ++conn.send_id, object_id, event_id, data);
    return S_OK;
}

HRESULT last_sent(HANDLE handle, DWORD* send_id)
{
    if (!connected(handle) || send_id == nullptr) return E_FAIL;
    *send_id = conn.send_id;
    return S_OK;
}

}  // namespace

const ZvlinkBackend zvsim_world_backend = {
    "built-in simulator", open, close, dispatch, subscribe, define, request_data, map_event, transmit, last_sent,
};
