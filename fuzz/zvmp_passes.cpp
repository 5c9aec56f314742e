// Fuzz target: ZVMP datagrams through whole passes of the program. The program starts as its
// process entry starts it and runs its main loop against the SimConnect test double; at every
// dispatch the input supplies what happened since the last one: datagrams from several
// source addresses (0.0.0.0 and 255.255.255.255 among them), seconds passing (on the wall and
// the monotonic clock), the wall clock jumping either way, failing sockets, sends and
// receives, changes to the simulator's record, and the simulator time that passed, which
// decides whether a pass runs. Each pass reads and
// walks the datagrams, answers hellos, stream requests and stops, expires peers, carries out
// the panel commands as simulator events and publishes. The input's end is the simulator's
// quit.
//
// Input, a run of operations, each a byte and its fields:
//   0 datagram: source (byte), length (2 bytes), the bytes
//   1 both clocks move on: seconds (byte, 0 to 2)
//   2 wall clock jumps: signed seconds (4 bytes)
//   3 failures: what fails (byte: socket, send or receive), how many times (byte, 0 to 3)
//   4 record change: offset (2 bytes), length (byte, 0 to 15), the bytes; a change to the
//     simulator's time (any double, also one that goes back or is not a number) holds for the
//     frames that follow
//   5 frame: the data block arrives, hundredths of a simulated second since the last (byte);
//     the dispatch ends here
//   6 simulator message: the open message or the flight's start (byte)
//   7 static peer: source (byte), node type code (byte)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "app/pyxplugin.h"
#include "flightdata/flightdata.h"
#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "fuzz/support/network.h"
#include "fuzz/support/program.h"
#include "net/zvmpnet.h"
#include "tests/support/simconnect_double.h"

using namespace zvfuzz;

namespace {

constexpr Source SOURCES[] = {
    {"127.0.0.1", 2424},       {"127.0.0.1", 2426},   {"0.0.0.0", 2424},    {"255.255.255.255", 2424},
    {"10.1.2.3", 59000},       {"192.168.1.20", 1},   {"0.0.0.0", 0},       {"255.255.255.255", 65535},
    {"239.224.224.1", 2425},   {"127.0.0.2", 2424},   {"10.1.2.4", 2426},   {"127.0.0.1", 59000},
};
constexpr unsigned int MAX_FRAMES = 1024;

Input* in = nullptr;
FlightData record{};
double sim_time = 0.0;
unsigned int frames = 0;

const Source& source() { return SOURCES[in->u8() % std::size(SOURCES)]; }

// Everything the input says happened up to the next data block.
void between_dispatches()
{
    check_peer_counters();
    check_transmissions();
    while (!in->empty() && frames < MAX_FRAMES) {
        switch (in->u8() % 8) {
        case 0: {
            const Source& s = source();
            std::vector<std::uint8_t> bytes = in->bytes(in->u16() % 1601);
            queue_datagram(s.addr, s.port, bytes.data(), bytes.size());
            break;
        }
        case 1: {
            int seconds = in->u8() % 3;
            fakes.now += seconds;
            fakes.monotonic_ms += 1000 * seconds;
            break;
        }
        case 2: fakes.now += static_cast<std::int32_t>(in->u32()); break;
        case 3: {
            std::uint8_t what = in->u8();
            unsigned int count = in->u8() % 4;
            (what % 3 == 0 ? fakes.fail_sockets : what % 3 == 1 ? fakes.fail_sends : fakes.fail_receives) = count;
            break;
        }
        case 4: {
            std::size_t offset = in->u16();
            std::vector<std::uint8_t> bytes = in->bytes(in->u8() % 16);
            poke_record(record, offset, bytes.data(), bytes.size());
            // The simulator's time is the frames' to set, as the next operation says.
            std::memcpy(&sim_time, &record.absolute_time, sizeof sim_time);
            break;
        }
        case 5:
            sim_time += in->u8() / 100.0;
            record.absolute_time = sim_time;
            scd::queue_object_data(0, &record, sizeof record);
            ++frames;
            return;
        case 6:
            if (in->u8() & 1)
                scd::queue_open();
            else
                scd::queue_event(EVT_SIM_START);
            break;
        default: {
            const Source& s = source();
            unsigned int type = static_cast<unsigned int>(in->u8()) << 24 | ZVMP_PROTOCOL_VERSION_BITS;
            zvmp_add_peer_target(s.addr, s.port, type);
            break;
        }
        }
    }
    scd::queue_quit();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    reset_program();
    record = FlightData{};
    std::snprintf(record.title, sizeof record.title, "fuzz");
    sim_time = 1.0e6;
    frames = 0;

    Input input(data, size);
    in = &input;
    scd::on_dispatch = between_dispatches;
    char name[] = "pyxplugin";
    char* argv[] = {name, nullptr};
    zvscpl_main(1, argv);
    check_peer_counters();
    check_transmissions();
    in = nullptr;
    return 0;
}
