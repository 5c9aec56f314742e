// The built-in simulator's controls, for trying a program against a simulator that is not
// there yet, restarts, sets its clock back, ticks in whole seconds, does not know some names,
// or replays a recorded flight: the ZVSIM_ environment variables, read here and nowhere else,
// and the user signals (SIGUSR1 restart, SIGUSR2 clock set back an hour), installed through
// platform/signals when the built-in simulator is first chosen (or by zvsim at its start).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/signals.h"

struct ZvsimControls {
    bool loaded = false;
    bool signals_installed = false;
    double offline_s = 0.0;      // ZVSIM_OFFLINE_S: connections refused this long after the process start
    double clock_step_s = 0.0;   // ZVSIM_CLOCK_STEP: "ABSOLUTE TIME" in steps of this; 0 for none
    std::vector<std::string> unknown;  // ZVSIM_UNKNOWN: names this simulator does not know
    std::string replay_path;     // ZVSIM_REPLAY: serve this recording instead of the world; empty for none
    bool replay_loop = false;    // ZVSIM_REPLAY_LOOP=1
    plat_stop_flag restart_requested;  // SIGUSR1
    plat_stop_flag setback_requested;  // SIGUSR2
};
extern ZvsimControls zvsim_controls;

// When the process started, as the offline time counts it.
extern const std::chrono::steady_clock::time_point zvsim_process_start;

// Reads the environment once (later calls return what the first read): a value that does not
// parse is ignored with one line on standard error.
const ZvsimControls& zvsim_controls_load();
// Installs the user signals' handlers once.
void zvsim_controls_install_signals();

// A name the simulator does not know, by ZVSIM_UNKNOWN (compared without regard to case).
bool zvsim_unknown(const char* name);
// True while ZVSIM_OFFLINE_S keeps connections refused.
bool zvsim_offline_now();
// A restart or a clock set-back asked for by a signal since the last call: true once per request.
bool zvsim_take_restart_request();
bool zvsim_take_setback_request();
