// zvsim: the built-in simulator's world, or a recording, served to SimConnect clients over the
// simulator's own TCP protocol. Runs until SIGINT, SIGTERM or SIGHUP; SIGUSR1 restarts the world
// and SIGUSR2 sets its clock back, as for the program's built-in simulator.
#include <cstdio>
#include <string>

#include "platform/net.h"
#include "platform/signals.h"
#include "sim/builtin.h"
#include "sim/controls.h"
#include "sim/replay.h"
#include "sim/sim.h"
#include "tools/zvsim/options.h"
#include "tools/zvsim/server.h"

namespace {

// The longest wait: how soon a closed listening socket opens again once the simulator takes
// connections, and a restart is seen without a client.
constexpr long long LONGEST_WAIT_MS = 100;
// How long the end waits for clients to read their quit message.
constexpr long long QUIT_GRACE_MS = 500;

double turn_clock() { return zvsrv_state.now; }

void say_on_stderr(const std::string& line) { std::fprintf(stderr, "zvsim: %s\n", line.c_str()); }

}  // namespace

int main(int argc, char** argv)
{
    ZvsrvState& server = zvsrv_state;
    std::string error;
    switch (zvsrv_parse_options(argc, argv, server.options, error)) {
    case ZvsrvParse::Help: std::fputs(ZVSRV_USAGE, stdout); return 0;
    case ZvsrvParse::Bad:
        std::fprintf(stderr, "zvsim: %s\n%s", error.c_str(), ZVSRV_USAGE);
        return 2;
    case ZvsrvParse::Run: break;
    }
    if (!plat_net.startup() || !plat_signals.install_stop(&server.stop)) {
        std::fprintf(stderr, "zvsim: cannot start the network or take stop signals\n");
        return 2;
    }
    zvsim_replay_say = say_on_stderr;
    const ZvsimControls& controls = zvsim_controls_load();
    zvsim_controls_install_signals();
    server.world = controls.replay_path.empty();
    if (server.world) {
        server.backend = &zvsim_world_backend;
        zvsim_world_share(ZVSRV_MOST_CLIENTS);
    } else {
        server.recording = controls.replay_path;
        if (!zvsim_replay_start(controls.replay_path.c_str(), controls.replay_loop)) return 2;
        server.backend = &zvsim_replay_backend;
    }
    server.now = zvsim_os_clock();
    zvsim_clock = turn_clock;

    // A port that cannot be had is said at once, even while ZVSIM_OFFLINE_S keeps it closed.
    if (!zvsrv_listen(error, !zvsim_offline_now())) {
        std::fprintf(stderr, "zvsim: %s\n", error.c_str());
        return 2;
    }
    while (server.stop.load() == 0) zvsrv_turn(LONGEST_WAIT_MS);
    zvsrv_shutdown(QUIT_GRACE_MS);
    return 0;
}
