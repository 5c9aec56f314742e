// The platform tables as the fuzz targets replace them: a wall clock the input sets, a
// monotonic clock that starts at 0 and that sleeps (and the input) move on, sleeps that return
// at once, stop requests that are never installed, a UDP socket whose datagrams come from the
// input, a serial port whose bytes come from the input and whose device the input can take
// away and bring back, and a TCP side that never opens. Nothing here touches a real
// socket or device. Every send and serial write is checked as it happens; a check that fails
// ends the process with a message, which libFuzzer reports as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/net.h"

namespace zvfuzz {

struct Datagram {
    sockaddr_in from{};
    std::vector<std::uint8_t> bytes;
};

// What a read of the serial port returns: the bytes, or a failure.
struct SerialChunk {
    std::vector<std::uint8_t> bytes;
    bool fail = false;
};

struct Fakes {
    long long now = 1'700'000'000;    // plat_time
    long long monotonic_ms = 0;       // plat_monotonic_ms, which every sleep moves on
    unsigned long long slept_ms = 0;  // sum of plat_sleep_ms
    std::deque<Datagram> datagrams;   // waiting on the UDP socket
    std::deque<SerialChunk> serial;   // waiting on the serial port
    // Each non-zero count fails that many of the next calls of its kind.
    unsigned int fail_sends = 0;
    unsigned int fail_receives = 0;
    unsigned int fail_sockets = 0;
    unsigned int fail_serial_writes = 0;
    // The unit's device has gone away: the port cannot open, reads find nothing, writes and
    // the look at the port fail with EIO, until the input brings it back.
    bool serial_gone = false;
    int serial_error = 0;  // the serial table's last error
    // Counts, for checks by the targets.
    unsigned long long datagrams_sent = 0;
    unsigned long long serial_writes = 0;
    int sockets_open = 0;
    bool serial_open = false;
    // Every datagram sent, when asked for (the seed maker keeps the program's packets).
    bool keep_sent = false;
    std::vector<std::vector<std::uint8_t>> sent;
};

extern Fakes fakes;

// Points plat_net, plat_serial, plat_signals and the clocks at the fakes; once per process.
void install_fakes();
// A fresh fake world: nothing waiting or open, the clock back at its start. Targets call it
// together with resetting the program's own state.
void reset_fakes();

// A datagram from the address (dotted text) and port, waiting for the next read.
void queue_datagram(const char* addr, std::uint16_t port, const std::uint8_t* data, std::size_t size);

// Ends the process with `what` on standard error unless `ok`.
void check(bool ok, const char* what);

}  // namespace zvfuzz
