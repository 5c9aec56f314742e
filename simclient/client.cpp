// The network client's connection, requests and dispatch (client.h). Every socket call goes
// through plat_net and every wait through plat_wait, so that tests can replace both.
#include "simclient/client.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/program.h"
#include "platform/simlink_info.h"
#include "platform/wait.h"
#include "simwire/requests.h"

ZvcliState zvcli_state;

namespace {

ZvcliState& st = zvcli_state;

HANDLE the_handle() { return reinterpret_cast<HANDLE>(&zvcli_state); }
bool is_open(HANDLE h) { return h == the_handle() && st.open; }

void line(const char* text)
{
    std::printf("\n%s", text);
    std::fflush(stdout);
}

// A line that may come at every attempt: at most once a period while its text stays the same.
void line_once_a_period(const std::string& text)
{
    long long now = plat_monotonic_ms();
    if (text == st.last_line && st.last_line_ms >= 0 && now - st.last_line_ms < ZVCLI_LINE_PERIOD_MS) return;
    st.last_line = text;
    st.last_line_ms = now;
    line(text.c_str());
}

void close_socket()
{
    if (st.socket != PLAT_INVALID_SOCKET) plat_net.close(st.socket);
    st.socket = PLAT_INVALID_SOCKET;
    st.connecting = false;
    plat_wait_sim_socket = PLAT_INVALID_SOCKET;
    plat_wait_sim_socket_writing = false;
}

// The connection has ended: what was read before stays to be handed over, then a QUIT.
void fault(const char* cause)
{
    if (st.faulted) return;
    close_socket();
    st.faulted = true;
    st.quit_pending = true;
    line(cause);
}

void fault_by_error(int error)
{
    fault(error == ECONNRESET ? "Flight Simulator reset the connection" : "Flight Simulator closed the connection");
}

// Gives the socket what it takes now of the waiting bytes; the rest waits for the next dispatch,
// which a writable socket brings.
void flush()
{
    while (!st.faulted && zvsw_queue_waiting(st.queue) > 0) {
        long n = plat_net.stream_write(st.socket, zvsw_queue_front(st.queue), zvsw_queue_waiting(st.queue));
        if (n < 0) {
            fault_by_error(plat_net.last_error());
            return;
        }
        if (n == 0) break;
        zvsw_queue_taken(st.queue, static_cast<std::size_t>(n));
        st.sent += static_cast<unsigned long long>(n);
    }
    if (!st.faulted) plat_wait_sim_socket_writing = zvsw_queue_waiting(st.queue) > 0;
}

// Transmissions waiting: what waits beyond the end of the last other request.
std::size_t transmissions_waiting()
{
    unsigned long long others_waiting = st.others_end > st.sent ? st.others_end - st.sent : 0;
    return static_cast<std::size_t>(st.queued - st.sent - others_waiting);
}

// Queues one request, encoded by `encode` with the next send id, which it takes even when
// dropped. Only a transmission is ever dropped.
template <typename Request>
HRESULT send(HANDLE h, const Request& request, bool transmission = false)
{
    if (!is_open(h) || st.faulted) return E_FAIL;
    std::uint8_t bytes[ZVSW_MAX_REQUEST_SIZE];
    std::uint32_t id = st.next_send_id++;
    st.last_send_id = id;
    std::uint32_t size = zvsw_encode_request(bytes, ZVCLI_PROTOCOL, id, request);
    if (transmission && transmissions_waiting() + size > ZVCLI_TRANSMIT_QUEUE_BYTES) {
        ++plat_sim_link_info.unsent;
        return E_FAIL;
    }
    zvsw_queue_append(st.queue, bytes, size);
    st.queued += size;
    if (!transmission) st.others_end = st.queued;
    flush();
    return st.faulted ? E_FAIL : S_OK;
}

long long next_due_ms()
{
    if (!st.open) return -1;
    if (st.more_waiting || st.quit_pending) return plat_monotonic_ms();
    if (!st.answered && !st.faulted) return st.connected_ms + ZVCLI_OPEN_ANSWER_MS;
    return -1;
}

sockaddr_in server_address()
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = st.config.address;
    to.sin_port = htons(static_cast<std::uint16_t>(st.config.port));
    return to;
}

// Makes the TCP connection: true once made. A stop ends the wait at once; a connection still
// under way when the wait is over is kept for the next attempt when the program retries.
bool connect_to_server()
{
    bool same = st.connecting && st.connecting_to == st.config.address && st.connecting_port == st.config.port;
    if (st.connecting) {
        int r = same ? plat_net.connect_result(st.socket) : -1;
        if (r == 0) {
            st.connecting = false;
            return true;
        }
        close_socket();  // failed, or still not made after a whole retry period: start afresh
    }
    if (!plat_net.startup()) return false;
    st.socket = plat_net.tcp_socket();
    if (st.socket == PLAT_INVALID_SOCKET) return false;
    sockaddr_in to = server_address();
    int r = plat_net.set_nonblocking(st.socket) == 0 ? plat_net.connect_start(st.socket, &to) : -1;
    long long deadline =
        plat_monotonic_ms() + (plat_sim_link_info.retrying ? ZVCLI_CONNECT_WAIT_RETRYING_MS : ZVCLI_CONNECT_WAIT_MS);
    while (r == 1) {
        long long left = deadline - plat_monotonic_ms();
        if (left <= 0) break;
        PlatWaitSocket watched{st.socket, true, 0};
        PlatWaitSources sources;
        sources.sockets = &watched;
        sources.socket_count = 1;
        unsigned woke = plat_wait.wait(sources, left);
        if ((woke & PLAT_WAKE_STOP) != 0) {
            plat_wait_wake();  // the program's own wait sees the stop too
            r = -1;
            break;
        }
        if (watched.ready != 0) r = plat_net.connect_result(st.socket);
    }
    if (r == 0) return true;
    if (r == 1 && plat_sim_link_info.retrying) {
        st.connecting = true;
        st.connecting_to = st.config.address;
        st.connecting_port = st.config.port;
        return false;
    }
    close_socket();
    return false;
}

void start_session()
{
    plat_net.set_nodelay(st.socket);
    plat_net.set_keepalive(st.socket, ZVCLI_KEEPALIVE_IDLE_S, ZVCLI_KEEPALIVE_INTERVAL_S, ZVCLI_KEEPALIVE_PROBES);
    st.reader = ZvswReader(ZVSW_MESSAGE_HEADER);
    st.queue = ZvswQueue{};
    st.queued = st.sent = st.others_end = 0;
    st.faulted = st.quit_pending = st.more_waiting = st.answered = st.quit_received = false;
    st.connected_ms = plat_monotonic_ms();
    st.next_send_id = 1;
    st.last_send_id = 0;
    st.open = true;
    plat_wait_sim_socket = st.socket;
    plat_wait_sim_due_ms = next_due_ms;
}

HRESULT open(HANDLE* handle, LPCSTR name, HWND, DWORD, HANDLE, DWORD)
{
    if (handle == nullptr) return E_FAIL;
    *handle = nullptr;
    if (st.open) return E_FAIL;  // one connection at a time
    if (st.found == ZVCLI_CONFIG_BAD) {
        line_once_a_period(st.config.problem);
        return E_FAIL;
    }
    if (st.announced != plat_sim_link_info.server) {
        st.announced = plat_sim_link_info.server;
        std::printf("\nConnecting to Flight Simulator at %s (%s, section %u) ...", plat_sim_link_info.server,
                    st.config.file.c_str(), st.config.index);
        std::fflush(stdout);
    }
    if (!connect_to_server()) return E_FAIL;
    start_session();
    send(the_handle(), zvsw_open_for(ZVCLI_PROTOCOL, zvsw_text(name)));
    *handle = the_handle();
    return S_OK;
}

HRESULT close(HANDLE h)
{
    if (!is_open(h)) return E_FAIL;
    close_socket();  // what waits unsent is given up: closing never waits for the server
    st.open = false;
    st.queue = ZvswQueue{};
    st.reader = ZvswReader(ZVSW_MESSAGE_HEADER);
    st.more_waiting = st.quit_pending = false;
    plat_wait_sim_due_ms = nullptr;
    return S_OK;
}

// Hands the procedure one message, as an aligned copy; false when the procedure closed the
// connection meanwhile.
bool hand(DispatchProc proc, void* context, const std::uint8_t* bytes, std::uint32_t size)
{
    SIMCONNECT_RECV* message = zvsw_aligned_copy(st.copy, bytes, size);
    if (message->dwID == SIMCONNECT_RECV_ID_OPEN) st.answered = true;
    // After its QUIT the simulator closes the connection: that close is no fault of its own.
    if (message->dwID == SIMCONNECT_RECV_ID_QUIT) st.quit_received = true;
    proc(message, size, context);
    return st.open && !st.quit_received;
}

// Reads what the socket holds, without waiting, and hands over every whole message, within the
// limits of one dispatch; after a fault, what was read before it, then the QUIT.
HRESULT dispatch(HANDLE h, DispatchProc proc, void* context)
{
    if (!is_open(h) || proc == nullptr || st.dispatching) return E_FAIL;
    if (st.quit_received) return S_OK;  // nothing more comes: the program closes
    st.dispatching = true;
    flush();
    if (!st.faulted && !st.answered && plat_monotonic_ms() - st.connected_ms >= ZVCLI_OPEN_ANSWER_MS)
        fault("Flight Simulator did not answer the open within 5 s: closing the connection");
    unsigned messages = 0;
    std::size_t bytes = 0;
    st.more_waiting = false;
    bool drained = false;  // every whole message read so far is handed over
    for (;;) {
        const std::uint8_t* m = nullptr;
        std::uint32_t size = 0;
        ZvswNext next = ZVSW_NEXT_NONE;
        while (messages < ZVCLI_DISPATCH_MESSAGES && bytes < ZVCLI_DISPATCH_BYTES &&
               (next = zvsw_reader_next(st.reader, m, size)) == ZVSW_NEXT_MESSAGE) {
            ++messages;
            bytes += size;
            if (!hand(proc, context, m, size)) {
                st.dispatching = false;
                return S_OK;
            }
        }
        if (next == ZVSW_NEXT_MALFORMED) {
            char cause[96];
            std::snprintf(cause, sizeof cause, "Flight Simulator sent a malformed message (size %lu): closing the connection",
                          static_cast<unsigned long>(st.reader.malformed_size));
            fault(cause);
            drained = true;
            break;
        }
        if (messages >= ZVCLI_DISPATCH_MESSAGES || bytes >= ZVCLI_DISPATCH_BYTES) break;
        drained = true;
        if (st.faulted) break;
        std::uint8_t* space = zvsw_reader_space(st.reader, 64 * 1024);
        long n = plat_net.stream_read(st.socket, space, 64 * 1024);
        if (n == PLAT_STREAM_EMPTY) break;
        if (n <= 0) {
            if (n == 0)
                fault("Flight Simulator closed the connection");
            else
                fault_by_error(plat_net.last_error());
            break;
        }
        zvsw_reader_filled(st.reader, static_cast<std::size_t>(n));
        drained = false;
    }
    st.more_waiting = !drained;
    if (drained && st.quit_pending) {
        st.quit_pending = false;
        std::uint8_t quit[ZVSW_RECV_QUIT_SIZE];
        zvsw_encode_record(quit, ZVCLI_PROTOCOL, SIMCONNECT_RECV_QUIT{});
        hand(proc, context, quit, ZVSW_RECV_QUIT_SIZE);
    }
    st.dispatching = false;
    return S_OK;
}

HRESULT subscribe(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* name)
{
    return send(h, ZvswSubscribeToSystemEvent{event_id, zvsw_text(name)});
}

HRESULT define(HANDLE h, SIMCONNECT_DATA_DEFINITION_ID define_id, const char* datum, const char* units,
               SIMCONNECT_DATATYPE type, float epsilon, DWORD datum_id)
{
    return send(h, ZvswAddToDataDefinition{define_id, zvsw_text(datum), zvsw_text(units),
                                           static_cast<std::uint32_t>(type), epsilon, datum_id});
}

HRESULT request_data(HANDLE h, SIMCONNECT_DATA_REQUEST_ID request_id, SIMCONNECT_DATA_DEFINITION_ID define_id,
                     SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_PERIOD period, SIMCONNECT_DATA_REQUEST_FLAG flags,
                     DWORD origin, DWORD interval, DWORD limit)
{
    return send(h, ZvswRequestDataOnSimObject{request_id, define_id, object_id, static_cast<std::uint32_t>(period),
                                              static_cast<std::uint32_t>(flags), origin, interval, limit});
}

HRESULT map_event(HANDLE h, SIMCONNECT_CLIENT_EVENT_ID event_id, const char* name)
{
    return send(h, ZvswMapClientEventToSimEvent{event_id, zvsw_text(name)});
}

HRESULT transmit(HANDLE h, SIMCONNECT_OBJECT_ID object_id, SIMCONNECT_CLIENT_EVENT_ID event_id, DWORD data,
                 SIMCONNECT_NOTIFICATION_GROUP_ID group_id, SIMCONNECT_EVENT_FLAG flags)
{
    return send(h, ZvswTransmitClientEvent{object_id, event_id, data, group_id, static_cast<std::uint32_t>(flags)},
                true);
}

HRESULT last_sent(HANDLE h, DWORD* send_id)
{
    if (!is_open(h) || send_id == nullptr) return E_FAIL;
    *send_id = st.last_send_id;
    return S_OK;
}

}  // namespace

const ZvlinkBackend zvcli_backend = {
    "network client", open, close, dispatch, subscribe, define, request_data, map_event, transmit, last_sent,
};

bool zvcli_choose(unsigned config_index)
{
    if (st.open) return true;  // the connection stays the client's until it is closed
    st.found = zvcli_config_find(config_index, plat_program_folder(), st.config);
    if (st.found == ZVCLI_CONFIG_GOOD)
        std::snprintf(plat_sim_link_info.server, sizeof plat_sim_link_info.server, "%s:%u",
                      plat_inet_ntoa(st.config.address), st.config.port);
    else
        plat_sim_link_info.server[0] = '\0';
    return st.found != ZVCLI_CONFIG_NONE;
}

void zvcli_reset()
{
    close_socket();
    if (plat_wait_sim_due_ms == next_due_ms) plat_wait_sim_due_ms = nullptr;
    zvcli_state = ZvcliState{};
    plat_sim_link_info = PlatSimLinkInfo{};
}
