// One client's session with the built-in simulator (see session.h).
#include "sim/session.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "platform/wait.h"
#include "sim/controls.h"
#include "sim/events.h"
#include "sim/names.h"
#include "sim/sim.h"

namespace zvsim {

namespace {

constexpr std::size_t MAX_PENDING = 1024;  // beyond this, new exceptions and events are dropped

constexpr SystemEventName SYSTEM_EVENTS[] = {
    {"SimStart", SystemEvent::SimStart, 0},
    {"SimStop", SystemEvent::SimStop, 0},
    {"1sec", SystemEvent::OneSecond, ZVSIM_FRAMES_PER_SECOND},
    {"4sec", SystemEvent::FourSeconds, 4 * ZVSIM_FRAMES_PER_SECOND},
    {"6Hz", SystemEvent::SixHertz, ZVSIM_FRAMES_PER_SECOND / 6},
};

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
void queue(Session& s, const Message& m, bool always = false)
{
    if (always || s.pending.size() < MAX_PENDING) s.pending.push_back(m);
    if (!s.dispatching) plat_wait_signal(s.event);
}

// Answers a request that the simulator cannot carry out: the request is dropped and an
// exception message waits for the next dispatch.
void reject(Session& s, SIMCONNECT_EXCEPTION exception, DWORD send_id, DWORD index)
{
    Message m{};
    m.exception = header<SIMCONNECT_RECV_EXCEPTION>(SIMCONNECT_RECV_ID_EXCEPTION);
    m.exception.dwException = exception;
    m.exception.dwSendID = send_id;
    m.exception.dwIndex = index;
    queue(s, m);
}

void queue_event(Session& s, DWORD event_id)
{
    Message m{};
    m.event = header<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
    m.event.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    m.event.uEventID = event_id;
    queue(s, m);
}

template <class T>
T* find_by_id(std::vector<T>& items, DWORD id)
{
    for (T& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

template <class T>
const T* find_by_id(const std::vector<T>& items, DWORD id)
{
    for (const T& item : items)
        if (item.id == id) return &item;
    return nullptr;
}

// Writes the data message of `request` into the reused buffer; returns its size.
DWORD build_data_message(Session& s, const Simulation& sim, const Request& request, const Definition& definition)
{
    std::size_t size = SIMOBJECT_DATA_HEADER_SIZE + definition.size;
    s.data_message.resize(std::max(size, sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA)));
    auto* m = new (s.data_message.data())
        SIMCONNECT_RECV_SIMOBJECT_DATA(header<SIMCONNECT_RECV_SIMOBJECT_DATA>(SIMCONNECT_RECV_ID_SIMOBJECT_DATA));
    m->dwSize = static_cast<DWORD>(size);
    m->dwRequestID = request.id;
    m->dwObjectID = SIMCONNECT_OBJECT_ID_USER;
    m->dwDefineID = request.define;
    m->dwFlags = request.flags;
    m->dwentrynumber = 1;
    m->dwoutof = 1;
    m->dwDefineCount = static_cast<DWORD>(definition.datums.size());
    unsigned char* out = s.data_message.data() + SIMOBJECT_DATA_HEADER_SIZE;
    for (const Datum& d : definition.datums) {
        write_datum(*d.var, d.conversion, d.type, sim.world, out);
        out += d.size;
    }
    return m->dwSize;
}

// True when the block just built equals the last one sent (and remembers it otherwise).
bool unchanged(Session& s, Request& request, DWORD size)
{
    auto block = s.data_message.begin() + SIMOBJECT_DATA_HEADER_SIZE;
    auto end = s.data_message.begin() + size;
    if (std::equal(block, end, request.last.begin(), request.last.end())) return true;
    request.last.assign(block, end);
    return false;
}

}  // namespace

void subscribe(Session& s, DWORD send_id, DWORD event_id, const char* name)
{
    const auto* known = std::find_if(std::begin(SYSTEM_EVENTS), std::end(SYSTEM_EVENTS), [&](const auto& e) {
        return name != nullptr && same_name(e.name, name) && !zvsim_unknown(name);
    });
    if (known == std::end(SYSTEM_EVENTS)) return reject(s, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 2);
    if (Subscription* existing = find_by_id(s.subscriptions, event_id))
        existing->event = known;
    else
        s.subscriptions.push_back({event_id, known});
    // The flight is already running: its start is reported right away.
    if (known->event == SystemEvent::SimStart) queue_event(s, event_id);
}

void define(Session& s, DWORD send_id, DWORD define_id, const char* name, const char* units, SIMCONNECT_DATATYPE type)
{
    const Variable* var = zvsim_unknown(name) ? nullptr : find_variable(name);
    if (var == nullptr) return reject(s, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 2);
    std::optional<Conversion> conversion = conversion_for(*var, units);
    if (!conversion) return reject(s, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 3);
    std::size_t size = datatype_size(type);
    if (size == 0 || is_text_type(type) != (var->quantity == Quantity::Text))
        return reject(s, SIMCONNECT_EXCEPTION_INVALID_DATA_TYPE, send_id, 4);
    Definition* definition = find_by_id(s.definitions, define_id);
    if (definition == nullptr) definition = &s.definitions.emplace_back(Definition{define_id, {}, 0});
    definition->datums.push_back({var, *conversion, type, size});
    definition->size += size;
}

void request_data(Session& s, const Simulation& sim, DWORD send_id, DWORD request_id, DWORD define_id,
                  DWORD object_id, SIMCONNECT_PERIOD period, DWORD flags, DWORD origin, DWORD interval, DWORD limit)
{
    Request* existing = find_by_id(s.requests, request_id);
    if (period == SIMCONNECT_PERIOD_NEVER) {
        if (existing) existing->done = true;  // removed when no dispatch is walking the list
        if (!s.dispatching) std::erase_if(s.requests, [](const Request& r) { return r.done; });
        return;
    }
    if (find_by_id(s.definitions, define_id) == nullptr)
        return reject(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 2);
    if (object_id != SIMCONNECT_OBJECT_ID_USER) return reject(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 3);
    if (period > SIMCONNECT_PERIOD_SECOND) return reject(s, SIMCONNECT_EXCEPTION_INVALID_ENUM, send_id, 4);
    if ((flags & ~SIMCONNECT_DATA_REQUEST_FLAG_CHANGED) != 0)  // tagged blocks are not produced
        return reject(s, SIMCONNECT_EXCEPTION_ERROR, send_id, 5);

    Request& request = existing ? *existing : s.requests.emplace_back();
    request = Request{};
    request.id = request_id;
    request.define = define_id;
    request.period = period;
    request.flags = flags;
    request.interval = interval;
    request.limit = limit;
    request.next_due = period_now(sim, period) + origin;
}

void map_event(Session& s, DWORD send_id, DWORD event_id, const char* name)
{
    if (find_by_id(s.mappings, event_id) != nullptr)
        return reject(s, SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE, send_id, 1);
    if (name == nullptr) name = "";
    const Event* event = zvsim_unknown(name) ? nullptr : find_event(name);
    // An empty name, a "#number" or a dotted name makes an event of the client's own.
    bool client_event = name[0] == '\0' || name[0] == '#' || std::strchr(name, '.') != nullptr;
    if (event == nullptr && !client_event) return reject(s, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, send_id, 2);
    s.mappings.push_back({event_id, event});
}

void transmit(Session& s, Simulation& sim, DWORD send_id, DWORD object_id, DWORD event_id, DWORD data)
{
    if (object_id != SIMCONNECT_OBJECT_ID_USER) return reject(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 1);
    const Mapping* mapping = find_by_id(s.mappings, event_id);
    if (mapping == nullptr) return reject(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, send_id, 2);
    if (mapping->event != nullptr) {
        mapping->event->apply(sim.world, data);
        derive(sim.world);
    }
}

void queue_open(Session& s)
{
    Message m{};
    m.open = header<SIMCONNECT_RECV_OPEN>(SIMCONNECT_RECV_ID_OPEN);
    std::strcpy(m.open.szApplicationName, "Built-in simulator");
    m.open.dwApplicationVersionMajor = SERVER_VERSION;
    m.open.dwSimConnectVersionMajor = SERVER_VERSION;
    queue(s, m, true);
}

void queue_quit(Session& s)
{
    for (const Subscription& sub : s.subscriptions)
        if (sub.event->event == SystemEvent::SimStop) queue_event(s, sub.id);
    Message m{};
    m.quit = header<SIMCONNECT_RECV_QUIT>(SIMCONNECT_RECV_ID_QUIT);
    queue(s, m, true);
}

void queue_periodic_events(Session& s, const Simulation& sim, long long before)
{
    if (sim.frame == before) return;
    for (const Subscription& sub : s.subscriptions) {
        long long every = sub.event->every_frames;
        if (every > 0 && sim.frame / every != before / every) queue_event(s, sub.id);
    }
}

void deliver_pending(Session& s, DispatchProc proc, void* context)
{
    for (std::size_t n = s.pending.size(); n > 0 && s.open && !s.quit_sent; --n) {
        Message m = s.pending.front();
        s.pending.pop_front();
        s.quit_sent = m.recv.dwID == SIMCONNECT_RECV_ID_QUIT;
        proc(&m.recv, m.recv.dwSize, context);
    }
}

void deliver_data(Session& s, const Simulation& sim, DispatchProc proc, void* context)
{
    // Requests made by the dispatch procedure from here on wait for the next dispatch.
    std::size_t count = s.requests.size();
    for (std::size_t i = 0; i < count && s.open; ++i) {
        Request& r = s.requests[i];
        long long now = period_now(sim, r.period);
        const Definition* definition = find_by_id(s.definitions, r.define);
        if (r.done || now < r.next_due || definition == nullptr) continue;
        DWORD size = build_data_message(s, sim, r, *definition);
        r.next_due = now + r.interval + 1;
        if ((r.flags & SIMCONNECT_DATA_REQUEST_FLAG_CHANGED) && unchanged(s, r, size)) continue;
        ++r.sent;
        r.done = r.period == SIMCONNECT_PERIOD_ONCE || (r.limit != 0 && r.sent >= r.limit);
        // `r` may be replaced by the procedure, so nothing of it is used after this call.
        proc(reinterpret_cast<SIMCONNECT_RECV*>(s.data_message.data()), size, context);
    }
    if (s.open) std::erase_if(s.requests, [](const Request& r) { return r.done; });
}

}  // namespace zvsim
