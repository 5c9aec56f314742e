// Start-up, the simulator connection and the main loop. Owns `hQuit`, `verbose` and the loop's
// own state. Everything in the program runs on this loop's thread: simulator messages inside
// SimConnect_CallDispatch, network traffic inside the paced pass.
#include "app/pyxplugin.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "app/getopt.h"
#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "platform/net.h"

int hQuit = 0;
int verbose = 1;
ZvscplState zvscpl_state;

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
    std::uint32_t addr = plat_inet_addr(arg);
    if (addr == INADDR_NONE) return;
    std::printf("\nAdding static peer %s ...", arg);
    std::fflush(stdout);
    // Registered in canonical dotted form, which differs from the text for forms like "127.1".
    char canonical[16];
    std::snprintf(canonical, sizeof canonical, "%s", plat_inet_ntoa(addr));
    zvmp_add_peer_target(canonical, 2424, 0x81060000);
    zvmp_add_peer_target(canonical, 2426, 0x84060000);
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

// The record's title is a 256-byte string; a block whose first 256 bytes hold no terminator
// is not a block of our definition.
bool title_is_terminated(const char* data, std::size_t available)
{
    std::size_t limit = available < 256 ? available : 256;
    return std::memchr(data, '\0', limit) != nullptr;
}

}  // namespace

int zvscpl_main(int argc, char** argv)
{
    std::printf("%s %s\n", TITLE_STRING, VERSION_STRING);
    progress("Initialising ZVMP Interface ...");
    // A network that does not open now is opened by the network service later.
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    for (unsigned int port : {2424u, 2425u, 2426u}) zvmp_add_multicast_target("239.224.224.1", port);
    progress("\nSetting ZVMP callback ...");
    zvmp_net_message_received_callback = zvscpl_zvmp_message_callback;

    int opt;
    while ((opt = zvopt::getopt(argc, argv, ":i:c:vs")) != -1) {
        switch (opt) {
        case 'i': option_static_peer(zvopt::optarg); break;
        case 'c': option_serial_port(zvopt::optarg); break;
        case 'v': ++verbose; break;
        case 's': --verbose; break;
        default: break;  // unknown letters and missing arguments pass silently
        }
    }

    if (zvxpl_cpflight_enabled) {
        std::printf("\nConfiguring CPFlight MCP on %s ...", zvpyxcpf_serial_port);
        std::fflush(stdout);
    }

    zvscpl_run_loop();
    return 0;
}

void zvscpl_run_loop()
{
    if (FAILED(SimConnect_Open(&hSimConnect, TITLE_STRING, nullptr, 0, nullptr, 0))) return;
    progress("\nConnected to Flight Simulator!\n");

    zvpyxpl_fd_add_definitions();
    SimConnect_SubscribeToSystemEvent(hSimConnect, EVT_SIM_START, "SimStart");

    while (hQuit == 0) {
        SimConnect_CallDispatch(hSimConnect, zvscpl_dispatch_proc, nullptr);
        double t = zvpyxpl_fd_data_get_time();
        // Strict comparisons: a difference that is not a number runs no pass.
        if (t - zvscpl_state.lastSubsecondTime > 0.05) {
            zvscpl_state.lastSubsecondTime = t;
            zvmp_showtime();
            zvscpl_send_subsecond_data();
            if (zvxpl_cpflight_enabled) zvpyxcpf_runloop();
            if (t - zvscpl_state.lastSecondTime > 1.0) {
                zvscpl_state.lastSecondTime = t;
                zvscpl_send_second_data();
            }
        }
        plat_sleep_ms(1);
    }

    SimConnect_Close(hSimConnect);
}

void CALLBACK zvscpl_dispatch_proc(SIMCONNECT_RECV* pData, DWORD cbData, void* /*pContext*/)
{
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
        break;
    }
    case SIMCONNECT_RECV_ID_OPEN: zvpyxpl_fd_request_data(); break;
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
        if (available < sizeof(FlightData) || !title_is_terminated(block, available)) return;
        zvpyxpl_fd_refresh_data(reinterpret_cast<FlightData*>(const_cast<char*>(block)));
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
