// One client of zvsim (see connection.h).
#include "tools/zvsim/connection.h"

#include <cstring>

#include "simwire/records.h"
#include "simwire/requests.h"
#include "simwire/wire.h"

namespace {

// Bytes read from one client in one turn at most, so that a flooding client cannot hold the
// others' service.
constexpr std::size_t READ_BUDGET = 256 * 1024;
constexpr std::size_t READ_CHUNK = 64 * 1024;

// The largest values the SDK's enumerations hold: a number beyond them is passed as this, which
// the simulator refuses as it refuses any type or period it does not know.
constexpr std::uint32_t MOST_DATATYPE = 15;
constexpr std::uint32_t MOST_PERIOD = 7;

const ZvlinkBackend& backend() { return *zvsrv_state.backend; }

const char* text(ZvsrvConnection& c, int which, std::string_view name)
{
    c.texts[which].assign(name);
    return c.texts[which].c_str();
}

void exception(ZvsrvConnection& c, std::uint32_t protocol, SIMCONNECT_EXCEPTION exception, std::uint32_t send_id,
               std::uint32_t index)
{
    SIMCONNECT_RECV_EXCEPTION e{};
    e.dwException = exception;
    e.dwSendID = send_id;
    e.dwIndex = index;
    if (std::uint8_t* p = zvsw_queue_push_within(c.out, ZVSW_RECV_EXCEPTION_SIZE, 2 * ZVSRV_QUEUE_LIMIT))
        zvsw_encode_record(p, protocol, e);
}

// Notes which of the client's requests the backend's last one was.
void note_send_id(ZvsrvConnection& c, std::uint32_t client_id)
{
    DWORD id = 0;
    if (FAILED(backend().last_sent(c.handle, &id)) || id == 0) return;
    c.send_ids[id % ZVSRV_SEND_IDS] = client_id;
    c.last_backend_id = id;
}

// The client's send id of the backend's request `id`; the id itself when it is not one of the
// latest.
std::uint32_t client_send_id(const ZvsrvConnection& c, std::uint32_t id)
{
    if (id == 0 || id > c.last_backend_id || c.last_backend_id - id >= ZVSRV_SEND_IDS) return id;
    return c.send_ids[id % ZVSRV_SEND_IDS];
}

void CALLBACK on_message(SIMCONNECT_RECV* message, DWORD size, void* context)
{
    auto& c = *static_cast<ZvsrvConnection*>(context);
    if (size < ZVSW_MESSAGE_HEADER) return;
    DWORD id = message->dwID;
    bool block = id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
    if (id == SIMCONNECT_RECV_ID_QUIT) c.quitting = true;
    std::uint8_t* p = zvsw_queue_push_within(c.out, size, block ? ZVSRV_QUEUE_LIMIT : 2 * ZVSRV_QUEUE_LIMIT);
    if (p == nullptr) return;  // a client that does not read loses what does not fit
    std::memcpy(p, message, size);
    zvsw_put_u32(p + 4, c.protocol);
    if (id == SIMCONNECT_RECV_ID_EXCEPTION && size >= ZVSW_RECV_EXCEPTION_SIZE)
        zvsw_put_u32(p + 16, client_send_id(c, zvsw_get_u32(p + 16)));
    if (id == SIMCONNECT_RECV_ID_OPEN) c.holding_open = true;
}

void open(ZvsrvConnection& c, const ZvswRequestHeader& h, const std::uint8_t* bytes, std::uint32_t size)
{
    ZvswOpen request;
    zvsw_decode_request(bytes, size, request);
    if (c.handle != nullptr) return exception(c, c.protocol, SIMCONNECT_EXCEPTION_ERROR, h.send_id, 0);
    if (zvsw_identity(h.protocol) == nullptr) {
        exception(c, h.protocol, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, h.send_id, 0);
        c.quitting = true;  // closed once the exception is out
        return;
    }
    c.protocol = h.protocol;
    c.name.assign(request.name);
    HANDLE handle = nullptr;
    if (FAILED(backend().open(&handle, text(c, 0, request.name), nullptr, 0, nullptr, 0)) || handle == nullptr)
        return zvsrv_drop(c, "the simulator takes no more connections");
    c.handle = handle;
    note_send_id(c, h.send_id);
    if (zvsrv_state.options.verbose > 0)
        zvsrv_say(c.peer + " opened as \"" + c.name + "\" (protocol " + std::to_string(c.protocol) + ")");
    // The open message in a write of its own: a client may hand messages that come in one read to
    // its handlers before the caller of its open has attached any.
    zvsrv_dispatch(c);
    zvsrv_write(c);
}

}  // namespace

void zvsrv_drop(ZvsrvConnection& c, const char* cause)
{
    if (c.cause == nullptr) c.cause = cause;
}

void zvsrv_read(ZvsrvConnection& c)
{
    for (std::size_t total = 0; total < READ_BUDGET && c.cause == nullptr && !c.quitting;) {
        std::uint8_t* space = zvsw_reader_space(c.reader, READ_CHUNK);
        long n = plat_net.stream_read(c.socket, space, READ_CHUNK);
        if (n == PLAT_STREAM_EMPTY) break;
        if (n <= 0) return zvsrv_drop(c, n == 0 ? "closed by the client" : "the connection failed");
        zvsw_reader_filled(c.reader, static_cast<std::size_t>(n));
        total += static_cast<std::size_t>(n);
        zvsrv_take_requests(c);
    }
}

void zvsrv_take_requests(ZvsrvConnection& c)
{
    const std::uint8_t* message;
    std::uint32_t size;
    ZvswNext got = ZVSW_NEXT_NONE;
    while (c.cause == nullptr && !c.quitting && (got = zvsw_reader_next(c.reader, message, size)) == ZVSW_NEXT_MESSAGE)
        zvsrv_request(c, message, size);
    if (got == ZVSW_NEXT_MALFORMED) {
        c.cause_text = "sent a malformed request (size " + std::to_string(c.reader.malformed_size) + ")";
        zvsrv_drop(c, c.cause_text.c_str());
    }
}

void zvsrv_request(ZvsrvConnection& c, const std::uint8_t* bytes, std::uint32_t size)
{
    ZvswRequestHeader h;
    if (!zvsw_decode_request_header(bytes, size, h)) return;
    std::uint32_t version = c.handle != nullptr ? c.protocol : h.protocol;
    switch (zvsw_request_check(h)) {
    case ZVSW_REQUEST_UNKNOWN_TYPE: return exception(c, version, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, h.send_id, 0);
    case ZVSW_REQUEST_SIZE_MISMATCH: return exception(c, version, SIMCONNECT_EXCEPTION_SIZE_MISMATCH, h.send_id, 0);
    case ZVSW_REQUEST_OK: break;
    }
    if (h.type == ZVSW_OPEN) return open(c, h, bytes, size);
    if (c.handle == nullptr) return exception(c, version, SIMCONNECT_EXCEPTION_UNOPENED, h.send_id, 0);

    const ZvlinkBackend& b = backend();
    switch (h.type) {
    case ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT: {
        ZvswMapClientEventToSimEvent r;
        zvsw_decode_request(bytes, size, r);
        b.map_event(c.handle, r.event_id, text(c, 0, r.event_name));
        break;
    }
    case ZVSW_TRANSMIT_CLIENT_EVENT: {
        ZvswTransmitClientEvent r;
        zvsw_decode_request(bytes, size, r);
        b.transmit(c.handle, r.object_id, r.event_id, r.data, r.group_id, r.flags);
        break;
    }
    case ZVSW_ADD_TO_DATA_DEFINITION: {
        ZvswAddToDataDefinition r;
        zvsw_decode_request(bytes, size, r);
        auto type = static_cast<SIMCONNECT_DATATYPE>(r.datum_type <= MOST_DATATYPE ? r.datum_type : MOST_DATATYPE);
        b.define(c.handle, r.define_id, text(c, 0, r.datum_name), text(c, 1, r.units_name), type, r.epsilon,
                 r.datum_id);
        break;
    }
    case ZVSW_REQUEST_DATA_ON_SIM_OBJECT: {
        ZvswRequestDataOnSimObject r;
        zvsw_decode_request(bytes, size, r);
        auto period = static_cast<SIMCONNECT_PERIOD>(r.period <= MOST_PERIOD ? r.period : MOST_PERIOD);
        b.request_data(c.handle, r.request_id, r.define_id, r.object_id, period, r.flags, r.origin, r.interval,
                       r.limit);
        break;
    }
    case ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT: {
        ZvswSubscribeToSystemEvent r;
        zvsw_decode_request(bytes, size, r);
        b.subscribe(c.handle, r.event_id, text(c, 0, r.event_name));
        break;
    }
    default: return;
    }
    note_send_id(c, h.send_id);
}

void zvsrv_dispatch(ZvsrvConnection& c)
{
    if (c.handle == nullptr || c.holding_open || c.quitting || c.cause != nullptr) return;
    // A client that does not read is not dispatched to while its queue is full: the blocks it
    // would lose are not made, and the simulator keeps its other messages until it reads again.
    if (zvsw_queue_waiting(c.out) >= ZVSRV_QUEUE_LIMIT) return;
    backend().dispatch(c.handle, on_message, &c);
}

void zvsrv_write(ZvsrvConnection& c)
{
    while (zvsw_queue_waiting(c.out) > 0 && c.cause == nullptr) {
        long n = plat_net.stream_write(c.socket, zvsw_queue_front(c.out), zvsw_queue_waiting(c.out));
        if (n < 0) return zvsrv_drop(c, "the connection failed");
        if (n == 0) break;  // the socket's buffer is full: the wait says when it takes more
        zvsw_queue_taken(c.out, static_cast<std::size_t>(n));
    }
    if (zvsw_queue_waiting(c.out) > 0) return;
    c.holding_open = false;
    if (c.quitting) zvsrv_drop(c, c.handle != nullptr ? "quit" : "refused: a protocol zvsim does not speak");
}

void zvsrv_queue_quit(ZvsrvConnection& c)
{
    c.quitting = true;
    SIMCONNECT_RECV_QUIT quit{};
    if (std::uint8_t* p = zvsw_queue_push_within(c.out, ZVSW_RECV_QUIT_SIZE, 2 * ZVSRV_QUEUE_LIMIT))
        zvsw_encode_record(p, c.protocol, quit);
}
