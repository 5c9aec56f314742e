// Fuzz target: zvmp-monitor's packet decoding and display. Datagrams from the program's address
// and from others (0.0.0.0 and 255.255.255.255 among them) reach the monitor's node through the
// fake socket; service passes walk them into the view, and the view is drawn as a line and as
// a screen of any width, while the wall clock moves on or jumps.
//
// Input, a run of operations, each a byte and its fields:
//   0 datagram: source (byte), length (2 bytes), the bytes
//   1 service pass: whether to ask for the stream (byte), seconds the clock then moves (byte)
//   2 draw: screen width (2 bytes); the fifth and later draws are skipped
//   3 clock jump: signed seconds (4 bytes)
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "fuzz/support/network.h"
#include "net/zvmpnet.h"
#include "tools/monitor/node.h"
#include "tools/monitor/view.h"

using namespace zvfuzz;

namespace {

// The program first: the monitor watches 127.0.0.1:59000.
constexpr Source SOURCES[] = {
    {"127.0.0.1", 59000}, {"0.0.0.0", 59000}, {"255.255.255.255", 59000}, {"127.0.0.1", 59001},
    {"10.1.2.3", 2424},   {"0.0.0.0", 0},     {"255.255.255.255", 65535}, {"192.168.1.20", 59000},
};

constexpr unsigned int MAX_DRAWS = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool installed = (install_fakes(), true);
    (void)installed;
    // The modules first: a fresh state closes what the last input left open, through the fakes.
    reset_network();
    zvmon_node_state = ZvmonNodeState{};
    zvmon_view_state = ZvmonViewState{};
    reset_fakes();
    check(zvmon_node_open("127.0.0.1", 59000, 0x81), "monitor node did not open");
    zvmon_view_listen();

    Input in(data, size);
    unsigned int draws = 0;
    for (unsigned int ops = 0; !in.empty() && ops < 512; ++ops) {
        switch (in.u8() % 4) {
        case 0: {
            const Source& s = SOURCES[in.u8() % std::size(SOURCES)];
            std::size_t length = in.u16() % (ZVMP_PKT_BUFFER_SIZE + 1);
            std::vector<std::uint8_t> bytes = in.bytes(length);
            queue_datagram(s.addr, s.port, bytes.data(), bytes.size());
            break;
        }
        case 1:
            zvmon_node_service((in.u8() & 1) != 0);
            check_peer_counters();
            zvmon_view_tick(fakes.now);
            fakes.now += in.u8() % 3;
            break;
        case 2: {
            unsigned int width = in.u16();
            // A drawing costs far more than the rest; a few per input show what there is to see.
            if (++draws > MAX_DRAWS) break;
            std::string line = zvmon_view_line();
            check(line.starts_with("rate=") && line.ends_with("\n"), "view line malformed");
            std::string screen = zvmon_view_screen("title", width);
            check(screen.starts_with("title\n") && screen.ends_with("\n"), "view screen malformed");
            break;
        }
        default: fakes.now += static_cast<std::int32_t>(in.u32()); break;
        }
    }
    return 0;
}
