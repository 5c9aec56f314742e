// Cost of the program's per-frame and per-pass work, printed as figures (not a test): the
// record copy of every frame, the network service and the two publishers of a sub-second pass,
// and the dispatch of a panel command. It runs in a private network namespace of its own:
//     build/bench/pass_bench
#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/panel_commands.h"
#include "app/publish.h"
#include "app/pyxplugin.h"
#include "flightdata/flightdata.h"
#include "net/zvmpnet.h"
#include "tests/support/isolation.h"
#include "tests/support/panel_client.h"

namespace {

template <typename F>
double ns_per_call(int calls, F&& f)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) f();
    auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(end - start).count() / calls;
}

}  // namespace

int main()
{
    if (!zvtest_isolate_network()) return 1;
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    zvmp_net_message_received_callback = zvscpl_zvmp_message_callback;
    panel::Client full(0x81060000);
    panel::Client position(0x84060000);
    full.request_stream(59000);
    position.request_stream(59000);
    zvmp_showtime();
    std::printf("streaming peers: %u\n", zvmp_number_of_stream_clients());

    FlightData block{};
    std::strcpy(block.title, "Bench Airliner");
    block.autopilot_available = 1;
    block.autopilot_flight_director_active = 1;
    block.com_available_1 = block.nav_available_1 = block.transponder_available_1 = 1;

    const int n = 20000;
    double copy = ns_per_call(n, [&] { zvpyxpl_fd_refresh_data(&block); });
    double service = ns_per_call(n, [] { zvmp_showtime(); });
    double subsecond = ns_per_call(n, [&] {
        zvscpl_send_subsecond_data();
        full.drain();
        position.drain();
    });
    double second = ns_per_call(n, [&] {
        zvscpl_send_second_data();
        full.drain();
        position.drain();
    });
    float heading = 270.0f;
    double command = ns_per_call(n, [&] { zvscpl_zvmp_message_callback(0x26011603, &heading, nullptr); });

    std::printf("record copy per frame:                 %8.0f ns\n", copy);
    std::printf("network service, nothing waiting:      %8.0f ns\n", service);
    std::printf("sub-second publish, two peers (+recv): %8.0f ns\n", subsecond);
    std::printf("speed-limit publish, two peers (+recv):%8.0f ns\n", second);
    std::printf("one panel command dispatched:          %8.0f ns\n", command);
    std::printf("share of one core at 36 frames and 18 passes a second: %.4f %%\n",
                (36 * copy + 18 * (service + subsecond) + second) / 1e9 * 100);
    return 0;
}
