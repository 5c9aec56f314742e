// The ZVMP UDP network's state and its names (see state.h).
#include "net/state.h"

// Never destroyed: the state lives as long as the process, whose end releases the socket, so no
// socket is closed while other modules' state is being torn down.
ZvmpNetState& zvmp_net_state = *new ZvmpNetState;

PlatSocket& zvmp_net_socket = zvmp_net_state.zvmp_net_socket;
char (&zvmp_init_addr)[ZVMP_ADDR_TEXT_SIZE] = zvmp_net_state.zvmp_init_addr;
unsigned int& zvmp_init_port = zvmp_net_state.zvmp_init_port;
unsigned int& zvmp_node_type = zvmp_net_state.zvmp_node_type;
unsigned int& zvmp_net_packet_in_len = zvmp_net_state.zvmp_net_packet_in_len;
zvmp_net_tgt_list_s*& zvmp_net_mcast_list = zvmp_net_state.zvmp_net_mcast_list.head;
zvmp_net_tgt_list_s*& zvmp_net_peer_list = zvmp_net_state.zvmp_net_peer_list.head;
unsigned int& zvmp_peer_count = zvmp_net_state.zvmp_peer_count;
unsigned int& zvmp_number_of_stream_peers = zvmp_net_state.zvmp_number_of_stream_peers;
ZvmpMessageHook& zvmp_net_message_received_callback = zvmp_net_state.zvmp_net_message_received_callback;
ZvmpPacketHook& zvmp_net_packet_received_callback = zvmp_net_state.zvmp_net_packet_received_callback;
ZvmpPeerCreatedHook& zvmp_net_peer_created_callback = zvmp_net_state.zvmp_net_peer_created_callback;
ZvmpPeerRemovedHook& zvmp_net_peer_removed_callback = zvmp_net_state.zvmp_net_peer_removed_callback;
