// The monitor's live view: the values of the latest data packet and of the latest speed-limit
// packet from the program under their catalogue names, the rate of data packets, and the two
// ways of showing them, a screen redrawn in place on a terminal or one line of name=value pairs
// per second for pipes and logs. Owns the values and the counters; `zvmon_run_monitor` is the
// monitor's loop.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/monitor/catalogue.h"

// The last value received under one catalogue name, as text; empty until one arrives.
struct ZvmonShown {
    std::string value;      // for the line
    std::string with_unit;  // for the screen
};

// The view's state: the values, one per catalogue entry in catalogue order, the counts behind
// the packet rate, and the stop request.
struct ZvmonViewState {
    std::vector<ZvmonShown> shown = std::vector<ZvmonShown>(zvmon_catalogue().size());
    // Entries stored from the packet being walked, and whether all of them are speed limits.
    std::vector<bool> in_packet = std::vector<bool>(zvmon_catalogue().size());
    bool packet_limits_only = true;
    long long current_second = -1;    // wall-clock second of the last tick
    long long last_data_second = -1;  // second of the last packet with data
    unsigned int packets_this_second = 0;
    unsigned int rate = 0;                // data packets in the last full second
    unsigned int messages_in_packet = 0;  // application messages of the packet being walked
    volatile std::sig_atomic_t stop_requested = 0;  // set by SIGINT or SIGTERM
};
extern ZvmonViewState zvmon_view_state;

// Sets the network's message and packet hooks to the view's: every application message from
// the program is taken, and every packet from it that carried any is counted.
void zvmon_view_listen();
// One received application message; payload as many bytes as the id states.
void zvmon_view_take(std::uint32_t id, const unsigned char* payload);
// The end of one packet from the program that carried `messages` application messages: the
// values that the last packet of its kind (speed limits, or data) held and it lacks are cleared.
void zvmon_view_packet_done(unsigned int messages);
// Called on every pass with the wall-clock second: a new second closes the rate count.
void zvmon_view_tick(long long second);
// Data packets received during the last full second.
unsigned int zvmon_view_rate();

// "rate=N name=value ...", the values in catalogue order, those not yet received left out.
std::string zvmon_view_line();
// The screen: a title line, then one block per section ("Radios    com1 118.10 MHz  ...") with
// lines cut at `width` columns; every line ends with "\n".
std::string zvmon_view_screen(const std::string& title, unsigned int width);

struct ZvmonTargetOptions {
    const char* host;
    unsigned int port;
    unsigned int type_code;
};
// Says hello, asks for the stream and shows the values until SIGINT or SIGTERM, then sends a
// stream stop. Returns the exit status.
int zvmon_run_monitor(const ZvmonTargetOptions& options);
