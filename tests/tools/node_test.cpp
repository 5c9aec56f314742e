// The monitor's node: one stream request or hello per wall-clock second toward the program, a
// new request while no data comes, a new socket (and request) after an error closed it, and the
// network's read loop, which reads on past a refused datagram.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "platform/net.h"
#include "tests/support/panel_client.h"
#include "tests/support/test_socket.h"
#include "tools/monitor/node.h"

namespace {

long long fake_now = 1000;
long long fake_time() { return fake_now; }
long failing_send(plat_socket_t, const void*, std::size_t, const sockaddr_in*) { return -1; }

constexpr std::uint32_t HELLO = 0x02010101, REQ_STREAM = 0x01000102;

}  // namespace

TEST(MonitorNode, SaysHelloOrAsksForTheStreamOncePerSecondAndRecoversFromAClosedSocket)
{
    plat_time = fake_time;
    panel::Client program(0x13060000);
    ASSERT_TRUE(zvmon_node_open("127.0.0.1", program.port(), 0x84));

    struct Step {
        long long second;
        bool data_before;        // data from the program arrived since the last pass
        bool fail_send;
        std::uint32_t expected;  // last message of what the program receives; 0 for nothing
        bool new_port;
    };
    const Step steps[] = {
        {1000, false, false, REQ_STREAM, false},  // first pass: ask
        {1000, false, false, 0, false},           // same second: nothing
        {1001, true, false, HELLO, false},         // data flows: a hello keeps the monitor a peer
        {1002, false, false, REQ_STREAM, false},  // no data: ask again
        {1003, false, true, 0, false},             // the send fails and closes the socket
        {1003, false, false, 0, false},            // closed until the next second
        {1004, false, false, REQ_STREAM, true},    // a new socket asks again
    };
    unsigned int port = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.second);
        fake_now = s.second;
        if (s.data_before) zvmon_node_data_seen();
        plat_net.send_to = s.fail_send ? failing_send : plat_net_os.send_to;
        zvmon_node_service(true);
        plat_net.send_to = plat_net_os.send_to;
        std::vector<panel::Packet> got = program.receive_for(100);
        if (s.expected == 0) {
            EXPECT_TRUE(got.empty());
            continue;
        }
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].node_type, 0x84060000u);
        EXPECT_EQ(got[0].messages.front().id, HELLO);
        EXPECT_EQ(got[0].messages.back().id, s.expected);
        if (port != 0) {
            EXPECT_EQ(got[0].from_port != port, s.new_port);
        }
        port = got[0].from_port;
    }
    EXPECT_FALSE(zvmon_node_open("not an address", 59000, 0x81));
}

// The node reads on past a datagram it refuses: what follows it is walked in the same pass.
TEST(MonitorNode, ReadsPastARefusedDatagramInOnePass)
{
    plat_time = fake_time;
    panel::Client program(0x13060000);
    ASSERT_TRUE(zvmon_node_open("127.0.0.1", program.port(), 0x81));
    static std::vector<std::uint32_t> seen;
    zvmp_net_message_received_callback = [](unsigned int id, void*, sockaddr_in*) { seen.push_back(id); };
    const unsigned int node_port = tsock::local_port(zvmp_net_socket);
    std::vector<std::uint8_t> refused = panel::packet_bytes(0x13060000, {panel::word_message(0x22011501, 1)});
    refused[16] += 4;  // a length field that differs from the bytes sent
    program.send_raw(refused, node_port);
    program.send({panel::word_message(0x22011502, 2)}, node_port);
    ASSERT_TRUE(tsock::wait_readable(zvmp_net_socket));
    zvmon_node_service(false);
    EXPECT_EQ(seen, std::vector<std::uint32_t>{0x22011502});
    EXPECT_EQ(zvmp_net_state.packets_refused, 1u);
}

TEST(MonitorNode, KnowsTheProgramByAddressAndPort)
{
    ASSERT_TRUE(zvmon_node_open("127.0.0.1", 59000, 0x81));
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    from.sin_port = htons(59000);
    EXPECT_TRUE(zvmon_node_is_program(&from));
    from.sin_port = htons(59001);
    EXPECT_FALSE(zvmon_node_is_program(&from));
    from.sin_port = htons(59000);
    from.sin_addr.s_addr = htonl(0x7F000002);
    EXPECT_FALSE(zvmon_node_is_program(&from));
    EXPECT_FALSE(zvmon_node_is_program(nullptr));
}
