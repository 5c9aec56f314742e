// `zvmp-monitor send`: commands by readable name, several in one packet, sent once the program
// has shown that it is there (it answers a hello with its own within a second).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "net/zvmpnet.h"
#include "tools/monitor/view.h"

// How long `send` waits for the program to answer its hello.
inline constexpr unsigned int ZVMON_ANSWER_TIMEOUT_MS = 3000;

// What `send` has heard: whether the program answered.
struct ZvmonSendState {
    bool answered = false;
};
extern ZvmonSendState zvmon_send_state;

struct ZvmonCommands {
    zvmp_pkt_ptr pkt;     // the command packet, with this node's header
    std::string summary;  // "hdg=270 com1=118.10"
    std::string error;    // set, and no packet, when any pair is bad
};
// NAME VALUE pairs as one packet of application messages, in the order given.
ZvmonCommands zvmon_build_commands(std::span<const std::string_view> words);

// The names `send` takes, with their identifiers and what each takes.
std::string zvmon_send_list();

// Sends the commands; the exit status (0 sent, 1 no answer or a failed send, 2 bad input).
int zvmon_run_send(const ZvmonTargetOptions& options, std::span<const std::string_view> words);
