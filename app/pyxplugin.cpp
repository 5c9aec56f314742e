// Start-up, the simulator connection and the main loop. Owns `hQuit`, `verbose` and the loop's
// own state. Everything in the program runs on this loop's thread: simulator messages inside
// SimConnect_CallDispatch, network traffic inside the paced pass and, between passes, as it
// arrives and on the wall clock. Only the stop flag is set from elsewhere.
#include "app/pyxplugin.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/getopt.h"
#include "app/pacing.h"
#include "app/panel_commands.h"
#include "app/publish.h"
#include "app/recording.h"
#include "app/report.h"
#include "app/simnotes.h"
#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "net/zvmpallow.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/net.h"
#include "platform/signals.h"
#include "platform/simlink_info.h"
#include "platform/wait.h"
#include "protocol/messages.h"
#include "protocol/network.h"
#include "record/writer.h"

ZvscplState zvscpl_state;
int& verbose = zvscpl_state.verbose;
int& hQuit = zvscpl_state.hQuit;

namespace {

// "COM", the argument and the terminator must fit the port name buffer.
constexpr std::size_t MAX_SERIAL_SUFFIX = ZVPYXCPF_SERIAL_PORT_SIZE - 4;

void progress(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void option_static_peer(const char* arg)
{
    if (arg[0] == '\0') return;
    std::uint32_t addr = zvmp_peer_address(arg);
    if (addr == INADDR_NONE) return;
    std::printf("\nAdding static peer %s ...", arg);
    std::fflush(stdout);
    // Registered in canonical dotted form, which differs from the text for forms like "127.1".
    char canonical[16];
    std::snprintf(canonical, sizeof canonical, "%s", plat_inet_ntoa(addr));
    zvmp_add_peer_target(canonical, ZVMP_FULL_PANEL_PORT, zvmp_node_word(ZVMP_NODE_FULL_PANEL));
    zvmp_add_peer_target(canonical, ZVMP_POSITION_PANEL_PORT, zvmp_node_word(ZVMP_NODE_POSITION_PANEL));
}

// A whole decimal number from 1 to 65535, or 0.
unsigned int peer_cap_of(const char* arg)
{
    unsigned long value = 0;
    const char* p = arg;
    for (; *p >= '0' && *p <= '9' && value <= 0xFFFF; ++p) value = value * 10 + static_cast<unsigned long>(*p - '0');
    return (p == arg || *p != '\0' || value > 0xFFFF) ? 0 : static_cast<unsigned int>(value);
}

void option_peer_cap(const char* arg)
{
    unsigned int cap = peer_cap_of(arg);
    if (cap == 0) {
        std::printf("\nIgnoring -p %s: not a number from 1 to 65535", arg);
        std::fflush(stdout);
        return;
    }
    zvmp_set_peer_cap(cap);
}

void option_multicast_interface(const char* arg)
{
    std::uint32_t addr;
    if (!zvmp_parse_ipv4(arg, addr)) {
        std::printf("\nIgnoring -m %s: not an IPv4 address", arg);
        std::fflush(stdout);
        return;
    }
    zvmp_set_multicast_interface(addr, arg);
}

void option_allowed_network(const char* arg)
{
    if (zvmp_allow_network(arg)) return;
    std::printf("\nIgnoring -a %s: not a network such as 192.168.1.0/24", arg);
    std::fflush(stdout);
}

void option_serial_port(const char* arg)
{
    if (std::strlen(arg) > MAX_SERIAL_SUFFIX) {
        std::printf("\nCPFlight serial port name too long (at most %zu characters), CPFlight MCP disabled",
                    MAX_SERIAL_SUFFIX);
        std::fflush(stdout);
        zvpyxcpf_serial_port[0] = '\0';
        zvxpl_cpflight_enabled = 0;
        return;
    }
    std::snprintf(zvpyxcpf_serial_port, sizeof zvpyxcpf_serial_port, "COM%s", arg);
    zvxpl_cpflight_enabled = 1;
}

void option_config_index(const char* arg)
{
    unsigned long index = 0;
    const char* end = arg + std::strlen(arg);
    auto [stop, error] = std::from_chars(arg, end, index);
    if (error != std::errc() || stop != end || arg == end || index > 0xFFFFFFFFul) {
        std::printf("\nIgnoring -n %s: not a number from 0 to 4294967295", arg);
        std::fflush(stdout);
        index = 0;
    }
    zvscpl_state.config_index = static_cast<DWORD>(index);
}

// -l, looked for before anything is printed, so that the title line goes through the filter too.
// The parser's state is put back for the command line's one real reading.
bool end_lines_asked(int argc, char** argv)
{
    zvopt::State before = zvopt::state;
    bool asked = false;
    for (int opt; (opt = zvopt::getopt(argc, argv, ZVSCPL_OPTIONS)) != -1;) asked = asked || opt == 'l';
    zvopt::state = before;
    return asked;
}

// The record's title is a 256-byte string; a block whose first 256 bytes hold no terminator
// is not a block of our definition.
bool title_is_terminated(const char* data, std::size_t available)
{
    std::size_t limit = available < 256 ? available : 256;
    return std::memchr(data, '\0', limit) != nullptr;
}

// A stop request ends the loop within its turn, a CPFlight unit's start-up included: the unit is
// told "K999" as the program ends, whatever step its start-up had reached.
bool stop_requested() { return zvscpl_state.stop.load() != 0; }

void report_hresult(const char* what, HRESULT hr)
{
    char line[96];
    std::snprintf(line, sizeof line, "%s (HRESULT 0x%08lX)", what,
                  static_cast<unsigned long>(static_cast<std::uint32_t>(hr)));
    zvscpl_report_failure(line, 0);
}

// One attempt to connect; on success the open path runs (definitions, events, "SimStart") and
// the pacing starts afresh, since a new simulator's clock may be earlier than the old one's. The
// record is cleared before the first dispatch, which may hand over nothing (the open message comes
// when the library has it), so that no pass runs on the closed session's data.
bool open_connection()
{
    zvscpl_state.last_open_ms = plat_monotonic_ms();
    // The library signals this event when it has messages (Windows); the loop's wait wakes on it.
    HRESULT hr = SimConnect_Open(&hSimConnect, TITLE_STRING, nullptr, 0, plat_wait_sim_event(),
                                 zvscpl_state.config_index);
    if (FAILED(hr)) {
        // Without -w the program ends here, as silently as it always has.
        if (zvscpl_state.wait_for_sim) report_hresult("Flight Simulator connection did not open", hr);
        return false;
    }
    progress("\nConnected to Flight Simulator!\n");
    zvscpl_state.waiting = 0;
    zvscpl_state.dispatch_failing_since_ms = -1;
    hQuit = 0;
    zvscpl_pacing_start();
    zvscpl_notes_start();
    zvpyxpl_fd_clear_data();
    if (zvscpl_state.wait_for_sim) zvscpl_record_connection(true);
    zvpyxpl_fd_add_definitions();
    SimConnect_SubscribeToSystemEvent(hSimConnect, EVT_SIM_START, "SimStart");
    zvpyxpl_fd_sent_note(ZvpyxplSentKind::SystemEvent, "SimStart");
    return true;
}

// With -w, a connection whose every dispatch has failed for the limit is gone.
bool connection_lost(HRESULT dispatch_result)
{
    long long& since = zvscpl_state.dispatch_failing_since_ms;
    if (SUCCEEDED(dispatch_result)) {
        since = -1;
        return false;
    }
    long long now = plat_monotonic_ms();
    if (since < 0) since = now;
    if (now - since < ZVSCPL_DISPATCH_FAILURE_LIMIT_MS) return false;
    report_hresult("Flight Simulator connection stopped working", dispatch_result);
    return true;
}

// Between passes, the loop waits for work instead of sleeping a millisecond on every turn:
// until the socket is readable, the CPFlight unit has bytes, the simulator library signals its
// event, a stop is requested, or the next due time (the simulator's next frame where the library
// tells it, the unit's next start-up step, the end of a pause in reading the socket, and at most
// ZVSCPL_LONGEST_WAIT_MS). What woke it is served at once: datagrams are read and carried out on arrival, not at the next
// pass, and the network's once-a-second duties run on the wall clock whether passes run or not.
// A source that is not to be read now (the socket during its pause, the unit during its
// start-up or once its device has gone) stays out of the wait, so that the wait never returns
// at once for it again and again.
unsigned wait_for_work()
{
    ZvscplState& loop = zvscpl_state;
    long long now = plat_monotonic_ms();
    long long due = now + ZVSCPL_LONGEST_WAIT_MS;
    auto sooner = [&due](long long t) {
        if (t >= 0 && t < due) due = t;
    };
    if (plat_wait_sim_due_ms != nullptr) sooner(plat_wait_sim_due_ms());
    if (zvxpl_cpflight_enabled) sooner(zvpyxcpf_next_due_ms());
    PlatWaitSources sources;
    if (now >= loop.arrivals_paused_until_ms)
        sources.socket = zvmp_net_socket;
    else
        sooner(loop.arrivals_paused_until_ms);
    bool unit_listening = zvxpl_cpflight_enabled && zvpyxcpf_listening() && loop.unit_out_of_wait == 0;
    if (unit_listening) sources.serial = zvpyxcpf_fd;

    // The time left is read last, so that the wait never runs past the due time by the time spent
    // above.
    unsigned woke = plat_wait.wait(sources, due - plat_monotonic_ms());
    if ((woke & PLAT_WAKE_SOCKET) != 0 &&
        zvmp_net_receive(ZVSCPL_ARRIVAL_BUDGET) == ZVSCPL_ARRIVAL_BUDGET)
        loop.arrivals_paused_until_ms = plat_monotonic_ms() + ZVSCPL_ARRIVAL_PAUSE_MS;
    if ((woke & PLAT_WAKE_SERIAL) != 0 && unit_listening && zvpyxcpf_receive_pass() == 0)
        loop.unit_out_of_wait = 1;
    if ((woke & PLAT_WAKE_SERIAL_GONE) != 0 && unit_listening) zvpyxcpf_port_gone();
    zvmp_net_serve_clock();
    return woke;
}

// Hands the simulator's messages to the dispatch procedure. Whether the library signals its event
// once per message or once for several, and whether one call hands over one message or all that
// wait, is not documented: after the event, calls go on until one hands over nothing.
HRESULT dispatch(bool signalled)
{
    HRESULT result = S_OK;
    for (unsigned round = 0; round < ZVSCPL_DISPATCH_ROUNDS; ++round) {
        unsigned long long before = zvscpl_state.messages;
        result = SimConnect_CallDispatch(hSimConnect, zvscpl_dispatch_proc, nullptr);
        if (!signalled || FAILED(result) || hQuit != 0 || zvscpl_state.messages == before) break;
    }
    return result;
}

// Passes paced as app/pacing.h says, until the simulator quits, a stop is requested or
// (with -w) the connection stops working. Every turn dispatches: a library without an event
// (the built-in simulator on POSIX) hands over all it holds in one call.
void run_connected()
{
    ZvscplState& loop = zvscpl_state;
    unsigned woke = 0;
    while (hQuit == 0 && !stop_requested()) {
        HRESULT result = dispatch((woke & PLAT_WAKE_SIM) != 0);
        if (loop.wait_for_sim && connection_lost(result)) break;
        unsigned pass = zvscpl_pacing_take(zvpyxpl_fd_data_get_time());
        if (pass & ZVSCPL_PASS_SUBSECOND) {
            zvmp_showtime();
            zvscpl_send_subsecond_data();
            if (zvxpl_cpflight_enabled) zvpyxcpf_runloop();
            loop.unit_out_of_wait = 0;
            if (pass & ZVSCPL_PASS_SECOND) zvscpl_send_second_data();
        }
        if (zvxpl_cpflight_enabled) zvpyxcpf_startup_step();
        zvscpl_report_status(true);
        woke = wait_for_work();
    }
}

void drop_command(unsigned int id, void*, sockaddr_in*)
{
    if (zvmsg_is_application(id)) ++zvscpl_report.dropped;
}

// The network service while there is no simulator: hellos, expiry, re-opening and the TCP poll
// go on; panel commands are read and dropped. The CPFlight unit's input is dropped too, so no
// key pressed meanwhile replays into the next session.
void serve_while_waiting()
{
    auto hook = zvmp_net_message_received_callback;
    zvmp_net_message_received_callback = drop_command;
    zvmp_showtime();
    zvmp_net_message_received_callback = hook;
    if (zvxpl_cpflight_enabled) zvpyxcpf_drain();
}

// Waits for the simulator, trying to connect every ZVSCPL_OPEN_RETRY_MS; false on a stop request.
bool wait_for_connection()
{
    ZvscplState& loop = zvscpl_state;
    loop.waiting = 1;
    while (!stop_requested()) {
        long long now = plat_monotonic_ms();
        if (now - loop.last_open_ms >= ZVSCPL_OPEN_RETRY_MS && open_connection()) return true;
        if (now - loop.last_wait_service_ms >= ZVSCPL_WAIT_SERVICE_MS) {
            loop.last_wait_service_ms = now;
            serve_while_waiting();
        }
        if (zvxpl_cpflight_enabled) zvpyxcpf_startup_step();
        zvscpl_report_status(false);
        plat_sleep_ms(ZVSCPL_WAIT_SERVICE_MS);
    }
    return false;
}

}  // namespace

int zvscpl_main(int argc, char** argv)
{
    plat_signals.install_stop(&zvscpl_state.stop);
    zvmp_net_failure_callback = zvscpl_report_failure;
    zvpyxcpf_failure_callback = zvscpl_report_failure;
    bool lines_unended = end_lines_asked(argc, argv) && !plat_console_end_lines();
    std::printf("%s %s\n", TITLE_STRING, VERSION_STRING);
    progress("Initialising ZVMP Interface ...");
    // A network that does not open now is opened by the network service later.
    zvmp_initialise_network("0.0.0.0", 0, ZVMP_NODE_PROGRAM);
    for (unsigned int port : ZVMP_MCAST_PORTS) zvmp_add_multicast_target(ZVMP_MCAST_GROUP, port);
    progress("\nSetting ZVMP callback ...");
    zvmp_net_message_received_callback = zvscpl_zvmp_message_callback;

    const char* recording = nullptr;
    int opt;
    while ((opt = zvopt::getopt(argc, argv, ZVSCPL_OPTIONS)) != -1) {
        switch (opt) {
        case 'i': option_static_peer(zvopt::optarg); break;
        case 'c': option_serial_port(zvopt::optarg); break;
        case 'p': option_peer_cap(zvopt::optarg); break;
        case 'm': option_multicast_interface(zvopt::optarg); break;
        case 'a': option_allowed_network(zvopt::optarg); break;
        case 'v': ++verbose; break;
        case 's': --verbose; break;
        case 'w':
            zvscpl_state.wait_for_sim = zvpyxcpf_state.reopen_lost = 1;
            plat_sim_link_info.retrying = true;
            break;
        case 'n': option_config_index(zvopt::optarg); break;
        case 'r': recording = zvopt::optarg; break;
        case 'l':
            if (lines_unended) progress("\nIgnoring -l: lines end as they are printed only on Linux");
            lines_unended = false;
            break;
        default: break;  // unknown letters and missing arguments pass silently
        }
    }
    if (zvmp_allow_state.restricted && zvmp_allow_state.networks.empty())
        progress("\nNo valid -a network: only static peers (-i) may reach this program");

    if (zvxpl_cpflight_enabled) {
        std::printf("\nConfiguring CPFlight MCP on %s ...", zvpyxcpf_serial_port);
        std::fflush(stdout);
    }
    if (recording != nullptr) zvscpl_start_recording(recording);

    zvscpl_run_loop();
    // A stop request also tells the unit to blank its displays, which would otherwise keep
    // showing the last values.
    if (stop_requested()) zvpyxcpf_close_serial_port();
    zvscpl_stop_recording();
    plat_signals.finished();
    return 0;
}

void zvscpl_run_loop()
{
    if (stop_requested()) return;
    bool connected = open_connection();
    if (!connected) {
        if (!zvscpl_state.wait_for_sim) return;
        progress("\nWaiting for Flight Simulator ...");
    }
    for (;;) {
        if (!connected && !wait_for_connection()) return;
        run_connected();
        SimConnect_Close(hSimConnect);
        if (zvscpl_state.wait_for_sim) zvscpl_record_connection(false);
        connected = false;
        if (!zvscpl_state.wait_for_sim || stop_requested()) return;
        progress("\nFlight Simulator closed, waiting ...");
    }
}

void CALLBACK zvscpl_dispatch_proc(SIMCONNECT_RECV* pData, DWORD cbData, void* /*pContext*/)
{
    ++zvscpl_state.messages;
    zvrec_message(pData, cbData);
    if (pData == nullptr || cbData < sizeof(SIMCONNECT_RECV)) return;

    switch (pData->dwID) {
    case SIMCONNECT_RECV_ID_EXCEPTION: {
        if (cbData < sizeof(SIMCONNECT_RECV_EXCEPTION)) return;
        auto* ex = static_cast<SIMCONNECT_RECV_EXCEPTION*>(pData);
        if (verbose) {
            std::printf("Received exception %d for %d/%d\n", static_cast<int>(ex->dwException),
                        static_cast<int>(ex->dwSendID), static_cast<int>(ex->dwIndex));
            std::fflush(stdout);
        }
        zvscpl_note_exception(*ex);
        break;
    }
    case SIMCONNECT_RECV_ID_OPEN:
        zvpyxpl_fd_request_data();
        if (cbData >= sizeof(SIMCONNECT_RECV_OPEN)) zvscpl_note_open(*static_cast<SIMCONNECT_RECV_OPEN*>(pData));
        break;
    case SIMCONNECT_RECV_ID_QUIT: hQuit = 1; break;
    case SIMCONNECT_RECV_ID_EVENT: {
        if (cbData < sizeof(SIMCONNECT_RECV_EVENT)) return;
        auto* ev = static_cast<SIMCONNECT_RECV_EVENT*>(pData);
        if (ev->uEventID == EVT_SIM_START) zvpyxpl_fd_request_data();
        break;
    }
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA: {
        constexpr std::size_t header = SIMOBJECT_DATA_HEADER_SIZE;
        if (cbData < header) return;
        auto* obj = static_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(pData);
        if (obj->dwRequestID != 0) return;
        const char* block = reinterpret_cast<const char*>(pData) + header;
        std::size_t available = cbData - header;
        // A block too short for the whole record is dropped: the record keeps its contents.
        if (available < sizeof(FlightData)) {
            zvscpl_note_short_block(available);
            return;
        }
        if (!title_is_terminated(block, available)) return;
        zvpyxpl_fd_refresh_data(reinterpret_cast<FlightData*>(const_cast<char*>(block)));
        zvscpl_pacing_block(zvpyxpl_fd_data_get_time());
        break;
    }
    default:
        if (verbose) {
            std::printf("\nReceived Event:%d", static_cast<int>(pData->dwID));
            std::fflush(stdout);
        }
        break;
    }
}
