// zvsim, the built-in simulator as a SimConnect server: its state (the listening socket, the
// connections, the simulator backend they reach) and its one loop, which waits for work on every
// socket and the simulator's next frame, then serves what is ready.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/net.h"
#include "platform/signals.h"
#include "platform/wait.h"
#include "simlink/backend.h"
#include "simwire/stream.h"

// The simulator's own default for MaxClients.
inline constexpr std::size_t ZVSRV_MOST_CLIENTS = 64;
// Bytes that may wait for a client that does not read: data blocks beyond this are dropped, other
// messages beyond twice this.
inline constexpr std::size_t ZVSRV_QUEUE_LIMIT = 1u << 20;
// The client's send ids of the backend's latest requests, kept to name a refusal by the id the
// client sent.
inline constexpr std::size_t ZVSRV_SEND_IDS = 4096;

struct ZvsrvOptions {
    std::uint32_t address = htonl(INADDR_LOOPBACK);  // network order
    unsigned int port = 500;
    int verbose = 0;
};

struct ZvsrvConnection {
    PlatSocket socket;
    std::string peer;  // "address:port"
    ZvswReader reader{ZVSW_REQUEST_HEADER};
    ZvswQueue out;
    HANDLE handle = nullptr;     // the backend's connection, from the client's Open
    std::uint32_t protocol = 0;  // the Open's, in the version word of every message
    std::string name;            // from the Open
    // The client's send id of the backend's n-th request, at n % ZVSRV_SEND_IDS.
    std::array<std::uint32_t, ZVSRV_SEND_IDS> send_ids{};
    DWORD last_backend_id = 0;
    bool holding_open = false;  // the open message goes out in a write of its own first
    bool quitting = false;      // the quit message is queued: the connection closes once it is out
    const char* cause = nullptr;  // set when the connection is to close
    std::string cause_text;       // the cause, where it is made up
    std::string texts[2];         // the names of the request at hand, terminated
};

struct ZvsrvState {
    ZvsrvOptions options;
    const ZvlinkBackend* backend = nullptr;
    bool world = true;          // the built-in world, else a recording
    std::string recording;      // its file
    bool announced = false;     // the line saying where zvsim serves has been printed
    PlatSocket listener;
    std::vector<std::unique_ptr<ZvsrvConnection>> connections;
    std::vector<PlatWaitSocket> waits;  // reused by every wait: the listener, then the connections
    plat_stop_flag stop;
    double now = 0.0;  // the simulator clock's reading for this turn: zvsim_clock
};
extern ZvsrvState zvsrv_state;

// Binds and listens at the options' address and port, printing where zvsim serves the first time
// (without `keep`, only tries, and closes the socket again); false with the reason in `error`.
bool zvsrv_listen(std::string& error, bool keep);
// One turn: waits at most `longest_ms` for work, then serves what is ready.
void zvsrv_turn(long long longest_ms);
// The end: the quit message to every client, each connection closed once it is out (at most
// `grace_ms`), then every connection and the listener closed.
void zvsrv_shutdown(long long grace_ms);

// A line at -v (standard output, flushed).
void zvsrv_say(const std::string& line);
