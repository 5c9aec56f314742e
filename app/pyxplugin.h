// The plugin core: start-up and command line, the simulator connection and the main loop.
#pragma once

#include "platform/SimConnect.h"
#include "platform/net.h"

inline constexpr const char TITLE_STRING[] = "Zorvan FS2020 Pyx Plugin";
inline constexpr const char VERSION_STRING[] = "1.0.1";

// Diagnostics print while this is non-zero; -v raises it, -s lowers it.
extern int verbose;
// Set once the simulator says it quits; the main loop runs while it is 0.
extern int hQuit;

// The main loop's hidden state: the simulation time of its last passes.
struct ZvscplState {
    double lastSubsecondTime = 0.0;
    double lastSecondTime = 0.0;
};
extern ZvscplState zvscpl_state;

// Start-up: announces the program, sets up the network, parses the command line and runs the
// main loop until the simulator quits. Returns the process exit code, always 0.
int zvscpl_main(int argc, char** argv);

void zvscpl_run_loop();
void CALLBACK zvscpl_dispatch_proc(SIMCONNECT_RECV* pData, DWORD cbData, void* pContext);

// Publishing to streaming panels, once per sub-second pass and once per second.
void zvscpl_send_subsecond_data();
void zvscpl_send_second_data();

// The network's message hook: carries out the panel commands it is handed.
void zvscpl_zvmp_message_callback(unsigned int id, void* data, sockaddr_in* from);
