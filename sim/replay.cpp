// The replay of a recording by the built-in simulator (see replay.h), a simulator backend of its
// own. Owns the replay's state: the file being read, the record due next, the time base that
// maps the recording's time onto the simulator's clock, the shift of each loop, and the one
// connection.
#include "sim/replay.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/wait.h"
#include "record/reader.h"
#include "sim/controls.h"
#include "sim/fit.h"
#include "sim/names.h"
#include "sim/sim.h"

namespace {

constexpr DWORD SERVER_VERSION = 11;
// The stand-in library signals its event this often while replaying, so that a recording's
// times, which follow no fixed frame rate, are kept to about this.
constexpr double TICK_MS = 10.0;
// Records served by one dispatch at most; what is left follows at the next. A dispatch also ends
// after a data block, as the simulator's own library hands over one message a dispatch: a client
// late for several blocks still sees each, with its own turn after it, as when it was recorded.
constexpr int MOST_PER_DISPATCH = 4096;
// The wall-clock gap between two loops when the recording does not show one.
constexpr std::uint64_t DEFAULT_GAP_US = 1000000 / ZVSIM_FRAMES_PER_SECOND;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// Where a data message holds its definition id (SIMCONNECT_RECV_SIMOBJECT_DATA's dwDefineID).
constexpr std::size_t DEFINE_ID_AT = 20;

struct Replay {
    bool configured = false;  // the environment was read (or a test chose)
    bool active = false;
    bool loop = false;
    bool ended = false;  // nothing more to serve: connections are refused
    std::string path;
    std::unique_ptr<ZvrecReader> reader = std::make_unique<ZvrecReader>();
    ZvrecRecord next;
    bool have_next = false;
    std::uint64_t served = 0;  // records served from the current pass
    bool broken_reported = false;

    // The simulator clock's reading at the recording's time 0; moved on by every loop.
    double base = 0.0;
    bool started = false;
    // Where "ABSOLUTE TIME" lies in a block (-1: the definition has none), and what the first
    // pass saw of it: the first and second block's values, the largest; then each loop's shift.
    long abs_offset = -1;
    double abs_first = NaN;
    double abs_second = NaN;
    double abs_max = NaN;
    double abs_shift = 0.0;
    int pass = 0;
    std::uint64_t first_us = 0;  // the recording's first record
    bool first_seen = false;
    std::uint64_t block_gap_us = 0;  // between the first two blocks
    std::uint64_t first_block_us = 0;

    // The connection.
    bool open = false;
    bool dispatching = false;
    bool quit_sent = false;
    bool open_served = false;
    bool checked = false;
    std::vector<ZvrecRow> registered;  // the client's rows of the recording's definition
    void* event = nullptr;
    // The send id of the client's last request, numbered as the built-in simulator numbers them
    // (the open is 1), so that the exceptions of its recordings name the same requests again.
    DWORD send_id = 0;
};

Replay replay;

void say_on_stderr(const std::string& line) { std::fprintf(stderr, "built-in simulator: %s\n", line.c_str()); }

void say(const std::string& line) { zvsim_replay_say(line); }

bool connected(HANDLE h) { return h == &replay && replay.open; }

double now_us() { return (zvsim_clock() - replay.base) * 1e6; }

// The time of the next record, as the first pass measures it.
void note_first(std::uint64_t t)
{
    if (!replay.first_seen) {
        replay.first_seen = true;
        replay.first_us = t;
    }
}

// Starts the recording again for the next loop: the base moves on by the pass's length and a
// block's gap, the time shift by the span of the pass's clock and a block's step.
bool start_again()
{
    std::uint64_t last = replay.reader->last_time_us;
    std::string error;
    if (!zvrec_read_open(*replay.reader, replay.path.c_str(), error)) {
        say("cannot replay " + replay.path + " again: " + error);
        return false;
    }
    std::uint64_t gap = replay.block_gap_us > 0 ? replay.block_gap_us : DEFAULT_GAP_US;
    std::uint64_t span = last > replay.first_us ? last - replay.first_us : 0;
    replay.base += static_cast<double>(span + gap) / 1e6;
    if (std::isfinite(replay.abs_first) && std::isfinite(replay.abs_max)) {
        double step = replay.abs_second - replay.abs_first;
        if (!(step > 0.0 && step < 60.0)) step = 1.0 / ZVSIM_FRAMES_PER_SECOND;
        replay.abs_shift += replay.abs_max - replay.abs_first + step;
    }
    ++replay.pass;
    replay.served = 0;
    return true;
}

// Makes `next` hold the record due next; false at the end of the recording (when not looping,
// or when a loop would serve nothing). A damaged file is reported once, then ends there.
bool peek()
{
    for (int attempt = 0; !replay.have_next && !replay.ended && attempt < 2; ++attempt) {
        ZvrecNext got = zvrec_read_next(*replay.reader, replay.next);
        if (got == ZvrecNext::Record) {
            if (replay.pass == 0) note_first(replay.next.time_us);
            replay.have_next = true;
            break;
        }
        if (got == ZvrecNext::Broken && !replay.broken_reported) {
            replay.broken_reported = true;
            say(replay.path + " " + replay.reader->broken + "; replayed up to there");
        }
        if (!replay.loop || replay.served == 0 || !start_again()) replay.ended = true;
    }
    return replay.have_next;
}

const std::uint8_t* block_of(const ZvrecRecord& r, std::size_t& size)
{
    size = r.payload.size() > SIMOBJECT_DATA_HEADER_SIZE ? r.payload.size() - SIMOBJECT_DATA_HEADER_SIZE : 0;
    return r.payload.data() + SIMOBJECT_DATA_HEADER_SIZE;
}

// A data block of the recording's definition: measured on the first pass, shifted on the others.
void retime_block(ZvrecRecord& r)
{
    if (replay.abs_offset < 0 || r.payload.size() < sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA)) return;
    if (zvrec_u32(r.payload.data() + DEFINE_ID_AT) !=
        replay.reader->header.definition_id)
        return;
    std::size_t size = 0;
    const std::uint8_t* block = block_of(r, size);
    std::size_t at = static_cast<std::size_t>(replay.abs_offset);
    if (at + sizeof(double) > size) return;
    double t;
    std::memcpy(&t, block + at, sizeof t);
    if (replay.pass == 0) {
        if (!std::isfinite(t)) return;
        if (std::isnan(replay.abs_first)) {
            replay.abs_first = t;
            replay.first_block_us = r.time_us;
        } else if (std::isnan(replay.abs_second)) {
            replay.abs_second = t;
            replay.block_gap_us = r.time_us - replay.first_block_us;
        }
        if (!(t <= replay.abs_max)) replay.abs_max = t;
        return;
    }
    t += replay.abs_shift;
    std::memcpy(r.payload.data() + SIMOBJECT_DATA_HEADER_SIZE + at, &t, sizeof t);
}

void deliver(const void* message, DWORD size, DispatchProc proc, void* context)
{
    proc(static_cast<SIMCONNECT_RECV*>(const_cast<void*>(message)), size, context);
}

void deliver_quit(DispatchProc proc, void* context)
{
    SIMCONNECT_RECV_QUIT quit{};
    quit.dwSize = sizeof quit;
    quit.dwVersion = SERVER_VERSION;
    quit.dwID = SIMCONNECT_RECV_ID_QUIT;
    replay.quit_sent = true;
    deliver(&quit, sizeof quit, proc, context);
}

// Serves `next` (it may be skipped): a message as recorded, or the quit that a disconnection
// mark stands for. Marks and the program's own client events are not the simulator's to send.
// True when it handed over a data block.
bool serve(DispatchProc proc, void* context)
{
    ZvrecRecord& r = replay.next;
    if (r.kind == ZVREC_DISCONNECTED && !replay.loop) {
        deliver_quit(proc, context);
        return false;
    }
    if (r.kind != ZVREC_MESSAGE) return false;
    DWORD id = r.payload.size() >= sizeof(SIMCONNECT_RECV) ? zvrec_u32(r.payload.data() + 8) : DWORD{SIMCONNECT_RECV_ID_NULL};
    if (id == SIMCONNECT_RECV_ID_OPEN) {
        if (replay.open_served) return false;
        replay.open_served = true;
    }
    if (id == SIMCONNECT_RECV_ID_QUIT) {
        if (replay.loop) return false;
        replay.quit_sent = true;
    }
    if (id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA) retime_block(r);
    deliver(r.payload.data(), static_cast<DWORD>(r.payload.size()), proc, context);
    return id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
}

// Finds the next session's open message. The first connection starts the replay's time there;
// a later one must wait until its time has come. False when none is due (yet).
bool reach_session()
{
    while (peek()) {
        const ZvrecRecord& r = replay.next;
        bool message = r.kind == ZVREC_MESSAGE && r.payload.size() >= sizeof(SIMCONNECT_RECV);
        bool opens = message && zvrec_u32(r.payload.data() + 8) == SIMCONNECT_RECV_ID_OPEN;
        // A recording that does not begin with an open message is served from its first message.
        if (!replay.started && message) {
            replay.base = zvsim_clock() - static_cast<double>(r.time_us) / 1e6;
            replay.started = true;
            return true;
        }
        if (opens) return static_cast<double>(r.time_us) <= now_us();
        replay.have_next = false;
    }
    return false;
}

long long due_ms()
{
    if (!replay.open || replay.quit_sent) return -1;
    long long now = plat_monotonic_ms();
    if (!replay.have_next) return now;
    double ahead_ms = (static_cast<double>(replay.next.time_us) - now_us()) / 1000.0;
    if (!(ahead_ms > 0.0)) return now;
    return now + (ahead_ms < 1e9 ? static_cast<long long>(ahead_ms) + 1 : 1000000000LL);
}


HRESULT open(HANDLE* handle, LPCSTR, HWND, DWORD, HANDLE event, DWORD)
{
    zvsim_controls_install_signals();
    if (handle == nullptr) return E_FAIL;
    *handle = nullptr;
    if (replay.open || replay.dispatching || !reach_session()) return E_FAIL;
    replay.open = true;
    replay.quit_sent = false;
    replay.open_served = false;
    replay.checked = false;
    replay.registered.clear();
    replay.event = event;
    replay.send_id = 1;
    plat_wait_sim_due_ms = due_ms;
    if (event != nullptr) plat_wait_start_ticks(event, plat_monotonic_ms() + static_cast<long long>(TICK_MS), TICK_MS);
    *handle = &replay;
    return S_OK;
}

HRESULT close(HANDLE handle)
{
    if (!connected(handle)) return E_FAIL;
    replay.open = false;
    plat_wait_stop_ticks();
    return S_OK;
}

HRESULT dispatch(HANDLE handle, DispatchProc proc, void* context)
{
    if (!connected(handle) || proc == nullptr || replay.dispatching || replay.quit_sent) return E_FAIL;
    replay.dispatching = true;
    if (!replay.checked) {
        replay.checked = true;
        std::string difference = zvsim_first_difference(replay.reader->header.rows, replay.registered);
        if (!difference.empty()) {
            say(replay.path + " does not fit this program: " + difference);
            replay.ended = true;
            replay.have_next = false;
            deliver_quit(proc, context);
        }
    }
    for (int n = 0; n < MOST_PER_DISPATCH && replay.open && !replay.quit_sent; ++n) {
        if (!peek()) {  // the end, for good
            deliver_quit(proc, context);
            break;
        }
        if (static_cast<double>(replay.next.time_us) > now_us()) break;
        replay.have_next = false;
        ++replay.served;
        bool block = serve(proc, context);
        peek();
        if (block) break;
    }
    replay.dispatching = false;
    if (replay.open && !replay.quit_sent && due_ms() <= plat_monotonic_ms()) plat_wait_signal(replay.event);
    return S_OK;
}

HRESULT define(HANDLE handle, SIMCONNECT_DATA_DEFINITION_ID define_id, const char* name, const char* units,
               SIMCONNECT_DATATYPE type, float, DWORD)
{
    if (!connected(handle)) return E_FAIL;
    ++replay.send_id;
    if (define_id == replay.reader->header.definition_id)
        replay.registered.push_back({name != nullptr ? name : "", units != nullptr ? units : "",
                                     static_cast<std::uint32_t>(type), 0});
    return S_OK;
}

// Every other request: accepted on an open connection, without effect.
HRESULT accept(HANDLE handle)
{
    if (!connected(handle)) return E_FAIL;
    ++replay.send_id;
    return S_OK;
}

HRESULT last_sent(HANDLE handle, DWORD* send_id)
{
    if (!connected(handle) || send_id == nullptr) return E_FAIL;
    *send_id = replay.send_id;
    return S_OK;
}

HRESULT subscribe(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID, const char*) { return accept(handle); }

HRESULT request_data(HANDLE handle, SIMCONNECT_DATA_REQUEST_ID, SIMCONNECT_DATA_DEFINITION_ID, SIMCONNECT_OBJECT_ID,
                     SIMCONNECT_PERIOD, SIMCONNECT_DATA_REQUEST_FLAG, DWORD, DWORD, DWORD)
{
    return accept(handle);
}

HRESULT map_event(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID, const char*) { return accept(handle); }

HRESULT transmit(HANDLE handle, SIMCONNECT_OBJECT_ID, SIMCONNECT_CLIENT_EVENT_ID, DWORD,
                 SIMCONNECT_NOTIFICATION_GROUP_ID, SIMCONNECT_EVENT_FLAG)
{
    return accept(handle);
}

}  // namespace

void (*zvsim_replay_say)(const std::string& line) = say_on_stderr;

bool zvsim_replay_start(const char* path, bool loop)
{
    replay = Replay{};
    replay.configured = true;
    if (path == nullptr) return true;
    replay.active = true;
    replay.loop = loop;
    replay.path = path;
    std::string error;
    if (!zvrec_read_open(*replay.reader, path, error)) {
        say("cannot replay " + replay.path + ": " + error);
        replay.ended = true;
        return false;
    }
    for (const ZvrecRow& row : replay.reader->header.rows)
        if (zvsim::same_name(row.name.c_str(), "ABSOLUTE TIME") && row.type == SIMCONNECT_DATATYPE_FLOAT64)
            replay.abs_offset = static_cast<long>(row.offset);
    return true;
}


bool zvsim_replay_chosen()
{
    if (!replay.configured) {
        const ZvsimControls& controls = zvsim_controls_load();
        zvsim_replay_start(controls.replay_path.empty() ? nullptr : controls.replay_path.c_str(), controls.replay_loop);
    }
    return replay.active;
}

const ZvlinkBackend zvsim_replay_backend = {
    "replay", open, close, dispatch, subscribe, define, request_data, map_event, transmit, last_sent,
};
