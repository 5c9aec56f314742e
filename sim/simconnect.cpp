// The SimConnect functions over the built-in simulator: one connection at a time, with its data
// definitions, data requests, event mappings, system-event subscriptions and the messages
// waiting for the next dispatch. Owns the simulated world while the connection is open.
//
// Protocol as the client sees it:
// - The first dispatch after SimConnect_Open hands over the open message.
// - Errors in a request come back as exception messages carrying the request's send id (the
//   open is 1, each later request the next number) and the parameter's index (counting the
//   parameters after the handle from 1); the request then has no effect.
// - Frames fall due ZVSIM_FRAMES_PER_SECOND times per second of the simulator's clock. A dispatch first hands over
//   the messages waiting from before it (exceptions, events, the quit message), then one data
//   block per request that is due; frames the client was too slow to take are never queued,
//   so a late dispatch brings only the latest. Nothing waits.
// - Given an event handle at open, the simulator signals it when messages wait for a dispatch
//   and at the start of every frame, as the real library signals its event; without one, the
//   program learns when the next frame falls due through plat_wait_sim_due_ms.
// - SimConnect_GetLastSentPacketID gives the send id of the last request, the one its exception
//   would carry.
// - Life cycle, for trying a program against a simulator that comes and goes: with the
//   environment variable ZVSIM_OFFLINE_S=N the simulator refuses connections (SimConnect_Open
//   fails) for the first N seconds of the process, as one that is not running yet. SIGUSR1
//   (POSIX) restarts it: the next dispatch delivers the quit message, connections are refused
//   for 2 seconds, and the next one finds a fresh world whose date lies an hour earlier than
//   the one before. Stopping the program on SIGINT or SIGTERM is the program's business.
// - Other simulators, for trying a program against what this one does not do by default:
//   SIGUSR2 (POSIX) sets the clock of the running world back an hour, as a user changing the
//   time of day; ZVSIM_CLOCK_STEP=S reports "ABSOLUTE TIME" rounded down to a multiple of S
//   seconds; ZVSIM_UNKNOWN="NAME[;NAME...]" makes the named variables, events and system events
//   unknown, so that their requests are refused as another simulator version might refuse them.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "platform/SimConnect.h"
#include "platform/clock.h"
#include "platform/wait.h"
#include "sim/events.h"
#include "sim/names.h"
#include "sim/sim.h"
#include "sim/variables.h"
#include "sim/world.h"

namespace {

using namespace zvsim;

constexpr DWORD SERVER_VERSION = 11;
constexpr std::size_t MAX_PENDING = 1024;  // beyond this, new exceptions and events are dropped
// A dispatch after a long pause integrates the gap in at most this many steps.
constexpr long long MAX_STEPS_PER_DISPATCH = 300;

enum class SystemEvent { SimStart, SimStop, OneSecond, FourSeconds, SixHertz };

struct SystemEventName {
    const char* name;
    SystemEvent event;
    long long every_frames;  // periodic events; 0 for the others
};

constexpr SystemEventName SYSTEM_EVENTS[] = {
    {"SimStart", SystemEvent::SimStart, 0},
    {"SimStop", SystemEvent::SimStop, 0},
    {"1sec", SystemEvent::OneSecond, ZVSIM_FRAMES_PER_SECOND},
    {"4sec", SystemEvent::FourSeconds, 4 * ZVSIM_FRAMES_PER_SECOND},
    {"6Hz", SystemEvent::SixHertz, ZVSIM_FRAMES_PER_SECOND / 6},
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

struct Connection {
    bool open = false;
    bool dispatching = false;
    bool quit_sent = false;
    double start = 0.0;   // clock reading at open
    double date = 0.0;    // the world's date at open, seconds since 1970
    long long frame = 0;  // frames since open
    DWORD send_id = 0;
    World world;
    std::vector<Definition> definitions;
    std::vector<Request> requests;
    std::vector<Mapping> mappings;
    std::vector<Subscription> subscriptions;
    std::deque<Message> pending;
    std::vector<unsigned char> data_message;  // reused for every data block
    void* event = nullptr;                    // the client's, signalled when there is something
};

Connection conn;

constexpr double RESTART_OFFLINE_S = 2.0;
constexpr double RESTART_SETBACK_S = 3600.0;
constexpr double TIME_OF_DAY_SETBACK_S = 3600.0;

// Whether connections are taken now, the date of the next world, what the environment asks of
// this simulator, and the restarts and clock set-backs that signals ask for; lives for the
// process.
struct Lifecycle {
    std::chrono::steady_clock::time_point process_start = std::chrono::steady_clock::now();
    double offline_s = 0.0;       // ZVSIM_OFFLINE_S: refused this long after the process start
    double refused_until = 0.0;   // on zvsim_clock, after a restart
    double setback_s = 0.0;       // how far the next world's date lies behind the clock
    double clock_step_s = 0.0;    // ZVSIM_CLOCK_STEP: "ABSOLUTE TIME" in steps of this; 0 for none
    std::vector<std::string> unknown;  // ZVSIM_UNKNOWN: names this simulator does not know
    volatile sig_atomic_t restart_requested = 0;  // SIGUSR1
    volatile sig_atomic_t setback_requested = 0;  // SIGUSR2
    Lifecycle();
};

Lifecycle lifecycle;

#ifdef SIGUSR1
void on_restart_signal(int) { lifecycle.restart_requested = 1; }
void on_setback_signal(int) { lifecycle.setback_requested = 1; }

void handle(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}
#endif

// A number of seconds from `name` in the environment, within [min, 1e9); `fallback` when it is
// not set, and with one line on standard error when it is not such a number.
double seconds_from_environment(const char* name, double min, bool min_allowed, double fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr) return fallback;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end != text && *end == '\0' && (value > min || (min_allowed && value == min)) && value < 1e9) return value;
    std::fprintf(stderr, "built-in simulator: %s=%s is not a number of seconds; ignored\n", name, text);
    return fallback;
}

Lifecycle::Lifecycle()
{
    offline_s = seconds_from_environment("ZVSIM_OFFLINE_S", 0.0, true, 0.0);
    clock_step_s = seconds_from_environment("ZVSIM_CLOCK_STEP", 0.0, false, 0.0);
    if (const char* names = std::getenv("ZVSIM_UNKNOWN"); names != nullptr) {
        for (const char* at = names; *at != '\0';) {
            const char* end = std::strchr(at, ';');
            std::size_t length = end != nullptr ? static_cast<std::size_t>(end - at) : std::strlen(at);
            if (length > 0) unknown.emplace_back(at, length);
            at += length + (end != nullptr ? 1 : 0);
        }
    }
#ifdef SIGUSR1
    handle(SIGUSR1, on_restart_signal);
    handle(SIGUSR2, on_setback_signal);
#endif
}

void queue_quit();

// A restart asked for by SIGUSR1: the open connection hears the quit message, and connections
// are refused for a while.
void take_restart()
{
    if (!lifecycle.restart_requested) return;
    lifecycle.restart_requested = 0;
    if (conn.open && !conn.quit_sent) queue_quit();
    lifecycle.refused_until = zvsim_clock() + RESTART_OFFLINE_S;
    lifecycle.setback_s += RESTART_SETBACK_S;
}

// "ABSOLUTE TIME" at `frame`: the world's date and the frames since the open, in the steps
// ZVSIM_CLOCK_STEP asks for.
double absolute_time_at(long long frame)
{
    double t = UNIX_EPOCH_IN_SIM_SECONDS + conn.date + static_cast<double>(frame) / ZVSIM_FRAMES_PER_SECOND;
    double step = lifecycle.clock_step_s;
    return step > 0.0 ? std::floor(t / step) * step : t;
}

// The clock set back an hour, asked for by SIGUSR2.
void take_setback()
{
    if (!lifecycle.setback_requested) return;
    lifecycle.setback_requested = 0;
    if (!conn.open) return;
    conn.date -= TIME_OF_DAY_SETBACK_S;
    conn.world.absolute_time = absolute_time_at(conn.frame);
}

// A name this simulator does not know, by ZVSIM_UNKNOWN.
bool unknown_here(const char* name)
{
    return name != nullptr && std::any_of(lifecycle.unknown.begin(), lifecycle.unknown.end(),
                                          [&](const std::string& u) { return same_name(u.c_str(), name); });
}

bool refusing_connections()
{
    std::chrono::duration<double> since_start = std::chrono::steady_clock::now() - lifecycle.process_start;
    return since_start.count() < lifecycle.offline_s || zvsim_clock() < lifecycle.refused_until;
}

bool connected(HANDLE h) { return h == &conn && conn.open; }

template <class Record>
Record header(SIMCONNECT_RECV_ID id)
{
    Record r{};
    r.dwSize = sizeof(Record);
    r.dwVersion = SERVER_VERSION;
    r.dwID = id;
    return r;
}

// What a dispatch queues is signalled when the dispatch ends.
void queue(const Message& m, bool always = false)
{
    if (always || conn.pending.size() < MAX_PENDING) conn.pending.push_back(m);
    if (!conn.dispatching) plat_wait_signal(conn.event);
}

// Answers a request that the simulator cannot carry out: the request is dropped and an
// exception message waits for the next dispatch. The call itself succeeds, as the request
// did reach the simulator.
HRESULT reject(SIMCONNECT_EXCEPTION exception, DWORD send_id, DWORD index)
{
    Message m{};
    m.exception = header<SIMCONNECT_RECV_EXCEPTION>(SIMCONNECT_RECV_ID_EXCEPTION);
    m.exception.dwException = exception;
    m.exception.dwSendID = send_id;
    m.exception.dwIndex = index;
    queue(m);
    return S_OK;
}

void queue_event(DWORD event_id)
{
    Message m{};
    m.event = header<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
    m.event.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    m.event.uEventID = event_id;
    queue(m);
}

void queue_open()
{
    Message m{};
    m.open = header<SIMCONNECT_RECV_OPEN>(SIMCONNECT_RECV_ID_OPEN);
    std::strcpy(m.open.szApplicationName, "Built-in simulator");
    m.open.dwApplicationVersionMajor = SERVER_VERSION;
    m.open.dwSimConnectVersionMajor = SERVER_VERSION;
    queue(m, true);
}

void queue_quit()
{
    for (const Subscription& s : conn.subscriptions)
        if (s.event->event == SystemEvent::SimStop) queue_event(s.id);
    Message m{};
    m.quit = header<SIMCONNECT_RECV_QUIT>(SIMCONNECT_RECV_ID_QUIT);
    queue(m, true);
}

template <class T>
T* find_by_id(std::vector<T>& items, DWORD id)
{
    for (T& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

long long frame_at(double now)
{
    // A clock within a thousandth of a frame of a frame counts as there, whatever the rounding.
    double frames = (now - conn.start) * ZVSIM_FRAMES_PER_SECOND + 1e-3;
    if (!(frames > 0.0)) return 0;  // before the open, or not a number
    return frames < 1e15 ? static_cast<long long>(frames) : 1000000000000000LL;
}

// When the connection next has something for a dispatch, on the monotonic clock: now when
// messages wait, else the start of the next frame; -1 without a connection. The program waits
// for this rather than asking every millisecond.
long long next_due_ms()
{
    if (!conn.open || conn.quit_sent) return -1;
    long long now = plat_monotonic_ms();
    if (!conn.pending.empty()) return now;
    double due = conn.start + static_cast<double>(conn.frame + 1) / ZVSIM_FRAMES_PER_SECOND;
    double ahead_ms = (due - zvsim_clock()) * 1000.0;
    if (!(ahead_ms > 0.0)) return now;
    return now + (ahead_ms < 1e9 ? static_cast<long long>(ahead_ms) + 1 : 1000000000LL);
}

long long period_now(SIMCONNECT_PERIOD period)
{
    return period == SIMCONNECT_PERIOD_SECOND ? conn.frame / ZVSIM_FRAMES_PER_SECOND : conn.frame;
}

// Brings the world to the frame due at `now`; a clock that went back changes nothing.
void advance(double now)
{
    long long frame = frame_at(now);
    if (frame <= conn.frame) return;
    long long frames = frame - conn.frame;
    long long steps = std::min(frames, MAX_STEPS_PER_DISPATCH);
    double dt = static_cast<double>(frames) / ZVSIM_FRAMES_PER_SECOND / static_cast<double>(steps);
    for (long long i = 0; i < steps; ++i) step(conn.world, dt);
    conn.world.absolute_time = absolute_time_at(frame);

    for (const Subscription& s : conn.subscriptions) {
        long long every = s.event->every_frames;
        if (every > 0 && frame / every != conn.frame / every) queue_event(s.id);
    }
    conn.frame = frame;
}

void deliver_pending(DispatchProc proc, void* context)
{
    for (std::size_t n = conn.pending.size(); n > 0 && conn.open && !conn.quit_sent; --n) {
        Message m = conn.pending.front();
        conn.pending.pop_front();
        conn.quit_sent = m.recv.dwID == SIMCONNECT_RECV_ID_QUIT;
        proc(&m.recv, m.recv.dwSize, context);
    }
}

// Writes the data message of `request` into the reused buffer; returns its size.
DWORD build_data_message(const Request& request, const Definition& definition)
{
    std::size_t size = SIMOBJECT_DATA_HEADER_SIZE + definition.size;
    conn.data_message.resize(std::max(size, sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA)));
    auto* m = new (conn.data_message.data())
        SIMCONNECT_RECV_SIMOBJECT_DATA(header<SIMCONNECT_RECV_SIMOBJECT_DATA>(SIMCONNECT_RECV_ID_SIMOBJECT_DATA));
    m->dwSize = static_cast<DWORD>(size);
    m->dwRequestID = request.id;
    m->dwObjectID = SIMCONNECT_OBJECT_ID_USER;
    m->dwDefineID = request.define;
    m->dwFlags = request.flags;
    m->dwentrynumber = 1;
    m->dwoutof = 1;
    m->dwDefineCount = static_cast<DWORD>(definition.datums.size());
    unsigned char* out = conn.data_message.data() + SIMOBJECT_DATA_HEADER_SIZE;
    for (const Datum& d : definition.datums) {
        write_datum(*d.var, d.conversion, d.type, conn.world, out);
        out += d.size;
    }
    return m->dwSize;
}

// True when the block just built equals the last one sent (and remembers it otherwise).
bool unchanged(Request& request, DWORD size)
{
    auto block = conn.data_message.begin() + SIMOBJECT_DATA_HEADER_SIZE;
    auto end = conn.data_message.begin() + size;
    if (std::equal(block, end, request.last.begin(), request.last.end())) return true;
    request.last.assign(block, end);
    return false;
}

void deliver_data(DispatchProc proc, void* context)
{
    // Requests made by the dispatch procedure from here on wait for the next dispatch.
    std::size_t count = conn.requests.size();
    for (std::size_t i = 0; i < count && conn.open; ++i) {
        Request& r = conn.requests[i];
        long long now = period_now(r.period);
        const Definition* definition = find_by_id(conn.definitions, r.define);
        if (r.done || now < r.next_due || definition == nullptr) continue;
        DWORD size = build_data_message(r, *definition);
        r.next_due = now + r.interval + 1;
        if ((r.flags & SIMCONNECT_DATA_REQUEST_FLAG_CHANGED) && unchanged(r, size)) continue;
        ++r.sent;
        r.done = r.period == SIMCONNECT_PERIOD_ONCE || (r.limit != 0 && r.sent >= r.limit);
        // `r` may be replaced by the procedure, so nothing of it is used after this call.
        proc(reinterpret_cast<SIMCONNECT_RECV*>(conn.data_message.data()), size, context);
    }
    if (conn.open) std::erase_if(conn.requests, [](const Request& r) { return r.done; });
}

}  // namespace

SIMCONNECTAPI SimConnect_Open(HANDLE* phSimConnect, LPCSTR, HWND, DWORD, HANDLE hEventHandle, DWORD)
{
    if (phSimConnect == nullptr) return E_FAIL;
    *phSimConnect = nullptr;
    if (conn.open || conn.dispatching) return E_FAIL;  // one connection at a time
    take_restart();
    if (refusing_connections()) return E_FAIL;  // as a simulator that is not running

    conn = Connection{};
    conn.open = true;
    conn.start = zvsim_clock();
    conn.date = conn.start - lifecycle.setback_s;
    conn.world = initial_world(conn.date);
    conn.world.absolute_time = absolute_time_at(0);
    conn.send_id = 1;
    conn.event = hEventHandle;
    queue_open();
    *phSimConnect = &conn;
    plat_wait_sim_due_ms = next_due_ms;
    if (conn.event != nullptr) {
        // Frames start at the open and every period after; each tick comes a millisecond after
        // its frame's start, so that the dispatch it brings finds the frame.
        constexpr double period_ms = 1000.0 / ZVSIM_FRAMES_PER_SECOND;
        plat_wait_start_ticks(conn.event, plat_monotonic_ms() + std::llround(period_ms + 1.0), period_ms);
    }
    return S_OK;
}

SIMCONNECTAPI SimConnect_Close(HANDLE hSimConnect)
{
    if (!connected(hSimConnect)) return E_FAIL;
    conn.open = false;
    plat_wait_stop_ticks();
    if (!conn.dispatching) conn = Connection{};  // else once the dispatch is over
    return S_OK;
}

SIMCONNECTAPI SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext)
{
    if (!connected(hSimConnect) || pfcnDispatch == nullptr || conn.dispatching || conn.quit_sent) return E_FAIL;
    conn.dispatching = true;
    take_setback();
    advance(zvsim_clock());
    take_restart();
    deliver_pending(pfcnDispatch, pContext);
    if (conn.open && !conn.quit_sent) deliver_data(pfcnDispatch, pContext);
    conn.dispatching = false;
    if (!conn.open) conn = Connection{};  // closed by the dispatch procedure
    if (!conn.pending.empty()) plat_wait_signal(conn.event);
    return S_OK;
}

SIMCONNECTAPI SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                const char* SystemEventName)
{
    if (!connected(hSimConnect)) return E_FAIL;
    DWORD send_id = ++conn.send_id;
    const auto* known = std::find_if(std::begin(SYSTEM_EVENTS), std::end(SYSTEM_EVENTS), [&](const auto& e) {
        return SystemEventName != nullptr && same_name(e.name, SystemEventName) && !unknown_here(SystemEventName);
    });
    if (known == std::end(SYSTEM_EVENTS)) return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 2);
    if (Subscription* s = find_by_id(conn.subscriptions, EventID))
        s->event = known;
    else
        conn.subscriptions.push_back({EventID, known});
    // The flight is already running: its start is reported right away.
    if (known->event == SystemEvent::SimStart) queue_event(EventID);
    return S_OK;
}

SIMCONNECTAPI SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                             const char* DatumName, const char* UnitsName,
                                             SIMCONNECT_DATATYPE DatumType, float, DWORD)
{
    if (!connected(hSimConnect)) return E_FAIL;
    DWORD send_id = ++conn.send_id;
    const Variable* var = unknown_here(DatumName) ? nullptr : find_variable(DatumName);
    if (var == nullptr) return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 2);
    std::optional<Conversion> conversion = conversion_for(*var, UnitsName);
    if (!conversion) return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 3);
    std::size_t size = datatype_size(DatumType);
    if (size == 0 || is_text_type(DatumType) != (var->quantity == Quantity::Text))
        return reject(SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, send_id, 4);
    Definition* definition = find_by_id(conn.definitions, DefineID);
    if (definition == nullptr) definition = &conn.definitions.emplace_back(Definition{DefineID, {}, 0});
    definition->datums.push_back({var, *conversion, DatumType, size});
    definition->size += size;
    return S_OK;
}

SIMCONNECTAPI SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                                SIMCONNECT_DATA_DEFINITION_ID DefineID, SIMCONNECT_OBJECT_ID ObjectID,
                                                SIMCONNECT_PERIOD Period, SIMCONNECT_DATA_REQUEST_FLAG Flags,
                                                DWORD origin, DWORD interval, DWORD limit)
{
    if (!connected(hSimConnect)) return E_FAIL;
    DWORD send_id = ++conn.send_id;
    Request* existing = find_by_id(conn.requests, RequestID);
    if (Period == SIMCONNECT_PERIOD_NEVER) {
        if (existing) existing->done = true;  // removed when no dispatch is walking the list
        if (!conn.dispatching) std::erase_if(conn.requests, [](const Request& r) { return r.done; });
        return S_OK;
    }
    const Definition* definition = find_by_id(conn.definitions, DefineID);
    if (definition == nullptr) return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 2);
    if (ObjectID != SIMCONNECT_OBJECT_ID_USER)
        return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 3);
    if (Period > SIMCONNECT_PERIOD_SECOND) return reject(SIMCONNECT_EXCEPTION_INVALID_ENUM, send_id, 4);
    if ((Flags & ~SIMCONNECT_DATA_REQUEST_FLAG_CHANGED) != 0)  // tagged blocks are not produced
        return reject(SIMCONNECT_EXCEPTION_ERROR, send_id, 5);

    Request& request = existing ? *existing : conn.requests.emplace_back();
    request = Request{};
    request.id = RequestID;
    request.define = DefineID;
    request.period = Period;
    request.flags = Flags;
    request.interval = interval;
    request.limit = limit;
    request.next_due = period_now(Period) + origin;
    return S_OK;
}

SIMCONNECTAPI SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                  const char* EventName)
{
    if (!connected(hSimConnect)) return E_FAIL;
    DWORD send_id = ++conn.send_id;
    if (find_by_id(conn.mappings, EventID) != nullptr)
        return reject(SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE, send_id, 1);
    const char* name = EventName != nullptr ? EventName : "";
    const Event* event = unknown_here(name) ? nullptr : find_event(name);
    // An empty name, a "#number" or a dotted name makes an event of the client's own.
    bool client_event = name[0] == '\0' || name[0] == '#' || std::strchr(name, '.') != nullptr;
    if (event == nullptr && !client_event)
        return reject(SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 2);
    conn.mappings.push_back({EventID, event});
    return S_OK;
}

SIMCONNECTAPI SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                             SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                             SIMCONNECT_NOTIFICATION_GROUP_ID, SIMCONNECT_EVENT_FLAG)
{
    if (!connected(hSimConnect)) return E_FAIL;
    DWORD send_id = ++conn.send_id;
    if (ObjectID != SIMCONNECT_OBJECT_ID_USER)
        return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 1);
    const Mapping* mapping = find_by_id(conn.mappings, EventID);
    if (mapping == nullptr) return reject(SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 2);
    if (mapping->event != nullptr) {
        mapping->event->apply(conn.world, dwData);
        derive(conn.world);
    }
    return S_OK;
}

SIMCONNECTAPI SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID)
{
    if (!connected(hSimConnect) || pdwSendID == nullptr) return E_FAIL;
    *pdwSendID = conn.send_id;
    return S_OK;
}
