// The simulator an end-to-end row of the program flies. By default the program's own built-in
// simulator, in its process, set up by the row's ZVSIM_* variables in the program's environment.
// In a test process started with ZV_E2E_REMOTE=1 the row's simulator is zvsim instead: started
// on 127.0.0.1 at a free port with those variables, named by a SimConnect.cfg in a working
// directory of the row's own, where the program then starts and connects to it over TCP.
#pragma once

#include <signal.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

struct E2ePrograms {
    std::string program;  // pyxplugin
    std::string zvsim;
};

class E2eSimulator {
public:
    // Now: zvsim listens at its start, and the row goes on once it says so. Later: the row's
    // ZVSIM_OFFLINE_S keeps zvsim's listening socket closed for a while, and the row starts the
    // program at once, as it would beside the built-in simulator.
    enum class Opens { Now, Later };

    E2eSimulator(const E2ePrograms& programs, std::vector<std::string> environment = {}, Opens opens = Opens::Now);
    ~E2eSimulator();
    E2eSimulator(const E2eSimulator&) = delete;
    E2eSimulator& operator=(const E2eSimulator&) = delete;

    // True when this test process flies zvsim (ZV_E2E_REMOTE=1).
    static bool remote();

    // In the remote mode: false when zvsim did not start or say it serves (problem() says why).
    bool ready() const { return problem_.empty(); }
    const std::string& problem() const { return problem_; }

    // The command line that starts the program with `options` against this simulator.
    std::vector<std::string> program(const std::vector<std::string>& options = {}) const;

    // A signal for the simulator's controls, such as SIGUSR1 (a restart) or SIGUSR2 (its clock
    // set back an hour): sent to the program, whose process holds the built-in simulator, or to
    // zvsim.
    void signal(ChildProcess& program, int signal);
    void restart(ChildProcess& program) { signal(program, SIGUSR1); }

    // The program's output as the row expects it beside the built-in simulator, with the line
    // the network client prints before its first attempt in the remote mode ("Connecting to
    // Flight Simulator at ..."), before the first "Waiting for Flight Simulator ..." or
    // "Connected to Flight Simulator!".
    std::string output(const std::string& expected) const;
    // What the simulator's controls wrote to standard error, followed by the program's: the
    // program's own in the local mode, zvsim's and then the program's in the remote mode.
    std::string errors(ChildProcess& program);

    // The line the program prints before its first attempt at this zvsim ("" in the local mode).
    std::string connecting_line() const;
    // zvsim's output and errors so far, for a row's failure message ("" in the local mode).
    std::string log();

private:
    E2ePrograms programs_;
    std::vector<std::string> environment_;
    std::unique_ptr<ChildProcess> zvsim_;
    std::string directory_;  // the program's working directory, with its SimConnect.cfg
    unsigned port_ = 0;
    std::string problem_;
};
