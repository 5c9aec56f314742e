// The plugin core: start-up and command line, the simulator connection and the main loop.
// Publishing is in app/publish.h, the panel commands in app/panel_commands.h.
#pragma once

#include "app/identity.h"
#include "platform/SimConnect.h"
#include "platform/signals.h"

// The main loop's own state, for the life of the process.
struct ZvscplState {
    // Diagnostics print while this is non-zero; -v raises it, -s lowers it.
    int verbose = 1;
    // Set once the simulator says it quits; the main loop runs while it is 0.
    int hQuit = 0;
    // Set by a stop request (a signal, or a console event on its own thread): the loop finishes
    // its iteration, closes the simulator connection and the CPFlight port, and the program ends.
    plat_stop_flag stop{0};
    // -w: wait for the simulator when it is not there, and again after it has gone.
    int wait_for_sim = 0;
    // 1 while the program waits for the simulator (with -w): the network is served on the wall
    // clock, panel commands are dropped, nothing is published.
    int waiting = 0;
    // -n: the section of SimConnect.cfg that SimConnect_Open connects by ([SimConnect.N]).
    DWORD config_index = 0;
    // Monotonic milliseconds: the last attempt to open the connection, the last network service
    // while waiting, and the first of an unbroken run of failed dispatches (-1: none failing).
    long long last_open_ms = 0;
    long long last_wait_service_ms = 0;
    long long dispatch_failing_since_ms = -1;
    // Monotonic milliseconds until which the socket stays out of the wait, once a read on
    // arrival has spent its budget.
    long long arrivals_paused_until_ms = 0;
    // 1 when the CPFlight port woke the wait but gave nothing (a port in a state that reads as
    // ready for ever): it stays out of the wait until the next pass.
    int unit_out_of_wait = 0;
    // Messages handed to the dispatch procedure since start.
    unsigned long long messages = 0;
};
extern ZvscplState zvscpl_state;
extern int& hQuit;

// With -w: a failed open is tried again after this long; a connection whose dispatches all
// fail for this long counts as gone.
inline constexpr long long ZVSCPL_OPEN_RETRY_MS = 2000;
inline constexpr long long ZVSCPL_DISPATCH_FAILURE_LIMIT_MS = 2000;
// While waiting, the network is served about this often.
inline constexpr unsigned int ZVSCPL_WAIT_SERVICE_MS = 50;
// While connected the loop waits for work, but never longer than this.
inline constexpr long long ZVSCPL_LONGEST_WAIT_MS = 50;
// Datagrams read on arrival between passes: at most this many, then the socket is left alone
// for the pause, so that a flood cannot take the loop over.
inline constexpr unsigned int ZVSCPL_ARRIVAL_BUDGET = 64;
inline constexpr long long ZVSCPL_ARRIVAL_PAUSE_MS = 5;
// After the simulator's event, dispatch calls go on until one hands over nothing, but no more
// than this many, so that a library that always has a message cannot hold the loop.
inline constexpr unsigned int ZVSCPL_DISPATCH_ROUNDS = 16;

// The command line's letters; those followed by ':' take an argument.
inline constexpr const char ZVSCPL_OPTIONS[] = ":i:c:vswlp:m:a:n:r:";

// Start-up: announces the program, sets up the network, parses the command line and runs the
// main loop until the simulator quits (or, with -w, until a stop request). Returns the process
// exit code, always 0.
int zvscpl_main(int argc, char** argv);

// Returns when the simulator has quit or could not be reached (without -w), or on a stop request.
void zvscpl_run_loop();
void CALLBACK zvscpl_dispatch_proc(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);
