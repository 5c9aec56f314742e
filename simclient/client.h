// The simulator on another computer, reached over its own TCP protocol (remote SimConnect)
// with the codec of simwire/: a backend of the seam (simlink/backend.h) that a SimConnect_Open
// chooses when a SimConnect.cfg is found (config.h). It opens as the 2020 simulator's clients
// do (KittyHawk), numbers its requests from 1 with the Open, queues them for a socket that never
// blocks, and hands the dispatch procedure every message as the simulator's library does: an
// aligned copy of it. A connection that breaks, a malformed message or an open left unanswered
// ends in a QUIT of its own making, as a simulator that quits. One connection at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/net.h"
#include "simclient/config.h"
#include "simlink/backend.h"
#include "simwire/records.h"
#include "simwire/stream.h"

// The protocol of the Open and of every request: the 2020 simulator's (KittyHawk).
inline constexpr std::uint32_t ZVCLI_PROTOCOL = ZVSW_PROTOCOL_KITTYHAWK;
// How long an open waits for the TCP connection: with -w a connection still under way is kept
// for the next attempt; without, it is abandoned.
inline constexpr long long ZVCLI_CONNECT_WAIT_RETRYING_MS = 100;
inline constexpr long long ZVCLI_CONNECT_WAIT_MS = 1000;
// The simulator's answer to the Open, RECV_OPEN, is awaited this long after the connection.
inline constexpr long long ZVCLI_OPEN_ANSWER_MS = 5000;
// TCP keepalive: a simulator computer switched off is noticed within about 15 s.
inline constexpr int ZVCLI_KEEPALIVE_IDLE_S = 5;
inline constexpr int ZVCLI_KEEPALIVE_INTERVAL_S = 2;
inline constexpr int ZVCLI_KEEPALIVE_PROBES = 5;
// One dispatch hands over at most this many messages and bytes, so that a flooding server
// cannot hold the program's loop.
inline constexpr unsigned ZVCLI_DISPATCH_MESSAGES = 64;
inline constexpr std::size_t ZVCLI_DISPATCH_BYTES = 256 * 1024;
// Transmissions (panel commands) that wait unsent beyond this are dropped; the registration
// and the data requests never are.
inline constexpr std::size_t ZVCLI_TRANSMIT_QUEUE_BYTES = 64 * 1024;
// The shortest time between two lines of the same cause.
inline constexpr long long ZVCLI_LINE_PERIOD_MS = 10000;

struct ZvcliState {
    // What the last choice found (zvcli_choose).
    ZvcliConfigFound found = ZVCLI_CONFIG_NONE;
    ZvcliConfig config;
    std::string announced;  // the server the progress line last named

    plat_socket_t socket = PLAT_INVALID_SOCKET;
    bool connecting = false;  // `socket` holds a connection under way, kept for the next open
    std::uint32_t connecting_to = 0;
    unsigned connecting_port = 0;
    bool open = false;          // a handle is out
    bool dispatching = false;
    bool faulted = false;       // the connection ended: the socket is closed
    bool quit_pending = false;  // the QUIT of the fault is still to be handed over
    bool more_waiting = false;  // a dispatch stopped at its limits with messages still read
    bool answered = false;      // RECV_OPEN arrived
    bool quit_received = false; // the simulator's QUIT was handed over: nothing more is read
    long long connected_ms = 0;

    std::uint32_t next_send_id = 1;
    std::uint32_t last_send_id = 0;
    ZvswReader reader{ZVSW_MESSAGE_HEADER};
    ZvswQueue queue;
    ZvswAligned copy;
    // Bytes queued and sent since the connection, and where the last request that is not a
    // transmission ends: what waits beyond it is transmissions.
    unsigned long long queued = 0;
    unsigned long long sent = 0;
    unsigned long long others_end = 0;

    std::string last_line;  // a line printed at most once a period: its text and when
    long long last_line_ms = -1;
};

extern ZvcliState zvcli_state;
extern const ZvlinkBackend zvcli_backend;

// At a SimConnect_Open with `config_index`: looks for SimConnect.cfg and keeps what it found for
// the open; true when one was found (good or bad), so that the open is the client's.
bool zvcli_choose(unsigned config_index);
// Closes any connection and forgets everything, as at the process start.
void zvcli_reset();
