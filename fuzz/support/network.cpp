// Network helpers of the fuzz targets (see network.h).
#include "fuzz/support/network.h"

#include <array>

#include "fuzz/support/fakes.h"
#include "net/zvmpallow.h"
#include "net/zvmpnet.h"
#include "net/zvmpsocket.h"
#include "net/zvmptcp.h"

namespace zvfuzz {

void reset_network()
{
    zvmp_net_state = ZvmpNetState{};
    zvmp_tcp_state = ZvmpTcpState{};
    zvmp_allow_state = ZvmpAllowState{};
    zvmp_socket_state = ZvmpSocketState{};
}

void open_with_streaming_peers()
{
    zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
    for (unsigned int type : {0x81060000u, 0x84060000u}) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        from.sin_port = htons(type == 0x81060000u ? 2424 : 2426);
        zvmp_net_process_message(ZVMP_MSG_HELLO, &type, &from, type);
        zvmp_net_process_message(ZVMP_MSG_REQ_STREAM, nullptr, &from, type);
    }
    check(zvmp_number_of_stream_clients() == 2, "streaming peers not added");
}

void check_peer_counters()
{
    unsigned int peers = 0, streaming = 0;
    std::array<unsigned int, 256> by_type{};
    for (zvmp_net_tgt_list_s* e = zvmp_net_peer_list; e != nullptr; e = e->next) {
        check(peers < 1'000'000, "peer list without an end");
        ++peers;
        if (e->flags & ZVMP_TGT_STREAMING) {
            ++streaming;
            ++by_type[e->node_type >> 24];
        }
    }
    check(peers == zvmp_number_of_peers(), "peer counter differs from the peer list");
    check(zvmp_peers_agree() != 0, "peer index or learned count differs from the peer list");
    check(streaming == zvmp_number_of_stream_clients(), "streaming counter differs from the peer list");
    for (unsigned int code : {0x81u, 0x84u, 0x13u})
        check(by_type[code] == zvmp_number_of_stream_clients_of_type(code << 24),
              "streaming peers of a type differ from the peer list");
}

}  // namespace zvfuzz
