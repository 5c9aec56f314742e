// Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/ (the folder given as
// the one argument). The seeds are built from the program's own packets and records: the
// built-in simulator's data block for the program's definition, the packets the program
// publishes from it, the command packets zvmp-monitor sends, a panel's hello and stream
// request, the program's own session with the simulator, a recording of such a session, and
// that session's requests and messages as the simulator's own protocol carries them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "app/publish.h"
#include "app/pyxplugin.h"
#include "app/recording.h"
#include "flightdata/flightdata.h"
#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "fuzz/support/network.h"
#include "net/zvmpnet.h"
#include "protocol/messages.h"
#include "record/format.h"
#include "sim/sim.h"
#include "simwire/records.h"
#include "simwire/requests.h"
#include "tools/monitor/send.h"

using namespace zvfuzz;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::filesystem::path root;

void write(const char* target, const char* name, const Output& out)
{
    std::filesystem::path dir = root / target;
    std::filesystem::create_directories(dir);
    std::ofstream f(dir / name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(out.data().data()), static_cast<std::streamsize>(out.data().size()));
}

Bytes packet_bytes(const zvmp_pkt_s* pkt)
{
    auto* p = reinterpret_cast<const std::uint8_t*>(pkt);
    return Bytes(p, p + pkt->length);
}

// ---- What the program and its panels send

double sim_clock = 1.7e9;
double seed_clock() { return sim_clock; }
Bytes data_message;

void CALLBACK keep_data(SIMCONNECT_RECV* msg, DWORD cb, void*)
{
    if (msg->dwID == SIMCONNECT_RECV_ID_OPEN) zvpyxpl_fd_request_data();
    if (msg->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA) {
        auto* p = reinterpret_cast<const std::uint8_t*>(msg);
        data_message.assign(p, p + cb);
    }
}

// The built-in simulator's data message for the program's definition, a few seconds in.
void simulator_block(FlightData& record)
{
    zvsim_clock = seed_clock;
    SimConnect_Open(&hSimConnect, TITLE_STRING, nullptr, 0, nullptr, 0);
    zvpyxpl_fd_add_definitions();
    for (int i = 0; i < 100; ++i) {
        SimConnect_CallDispatch(hSimConnect, keep_data, nullptr);
        sim_clock += 0.05;
    }
    SimConnect_Close(hSimConnect);
    std::memcpy(&record, data_message.data() + SIMOBJECT_DATA_HEADER_SIZE, sizeof record);
}

struct Published {
    Bytes full, position, limits;
};

Published published(const FlightData& record)
{
    fdata = record;
    open_with_streaming_peers();
    fakes.keep_sent = true;
    fakes.sent.clear();
    zvscpl_send_subsecond_data();
    zvscpl_send_second_data();
    fakes.keep_sent = false;
    // Full packet and speed limits to the 0x81 peer, position and limits to the 0x84 peer.
    Published p{fakes.sent.at(0), fakes.sent.at(1), fakes.sent.at(2)};
    zvmp_close_network();
    return p;
}

Bytes commands(std::vector<std::string_view> words)
{
    zvmp_node_type = 0x81000000;
    ZvmonCommands c = zvmon_build_commands(words);
    if (!c.pkt) std::fprintf(stderr, "make_seeds: %s\n", c.error.c_str());
    return packet_bytes(c.pkt.get());
}

Bytes panel_packet(std::uint32_t type_code, std::uint32_t stream_message)
{
    zvmp_node_type = type_code << 24;
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    std::uint32_t own = pkt->node_type;
    zvmp_net_add_msg_to_pkt(pkt.get(), ZVMP_MSG_HELLO, &own);
    if (stream_message != 0) zvmp_net_add_msg_to_pkt(pkt.get(), stream_message, nullptr);
    return packet_bytes(pkt.get());
}

Bytes radio_block()
{
    zvmp_node_type = 0x81000000;
    zvmp_pkt_ptr pkt(zvmp_net_make_packet());
    std::uint32_t words[12] = {11080, 11190, 10850, 11310, 11810, 12150, 12345, 13000, 35000, 40000, 27500, 36000};
    zvmp_net_add_msg_to_pkt(pkt.get(), zvmsg::RADIO_BLOCK, words);
    return packet_bytes(pkt.get());
}

Bytes type_coded_hello(std::uint32_t node_type)
{
    Bytes b(24, 0);
    std::uint32_t words[2] = {1, node_type};
    std::memcpy(b.data(), words, sizeof words);
    return b;
}

// ---- The targets' inputs

Output& datagram(Output& o, std::uint8_t source, const Bytes& b)
{
    return o.u8(0).u8(source).u16(static_cast<std::uint16_t>(b.size())).bytes(b.data(), b.size());
}

void zvmp_seeds(const Published& p)
{
    Output stream;
    datagram(stream, 0, panel_packet(0x81, ZVMP_MSG_REQ_STREAM)).u8(5).u8(5).u8(5).u8(6);
    datagram(stream, 1, panel_packet(0x84, ZVMP_MSG_REQ_STREAM)).u8(5).u8(6);
    datagram(stream, 0, commands({"hdg", "270", "alt", "12000", "spd", "250", "vs", "-1500"})).u8(5).u8(6);
    stream.u8(1).u8(1).u8(5).u8(6);
    datagram(stream, 0, commands({"com1", "118.10", "xpdr", "7000", "baro", "29.92", "fd-mode", "2"})).u8(5).u8(110);
    write("zvmp_passes", "stream_and_commands", stream);

    Output peers;
    datagram(peers, 9, type_coded_hello(0x84060000)).u8(5).u8(6);
    datagram(peers, 2, panel_packet(0x81, ZVMP_MSG_REQ_STREAM));
    datagram(peers, 3, panel_packet(0x81, ZVMP_MSG_REQ_STREAM)).u8(5).u8(6);
    datagram(peers, 9, panel_packet(0x84, ZVMP_MSG_STOP_STREAM)).u8(5).u8(6);
    peers.u8(7).u8(10).u8(0x81).u8(2).u32(static_cast<std::uint32_t>(-5)).u8(5).u8(6);
    peers.u8(2).u32(120).u8(5).u8(6).u8(1).u8(1).u8(5).u8(6);
    write("zvmp_passes", "peers_and_expiry", peers);

    Output radios;
    datagram(radios, 0, panel_packet(0x81, ZVMP_MSG_REQ_STREAM)).u8(5).u8(6);
    double nan = std::numeric_limits<double>::quiet_NaN(), earlier = 1.0e6 - 5.0;
    datagram(radios, 0, radio_block()).u8(4).u16(offsetof(FlightData, airspeed_indicated)).u8(8);
    radios.bytes(&nan, sizeof nan).u8(5).u8(6);
    radios.u8(4).u16(offsetof(FlightData, absolute_time)).u8(8).bytes(&earlier, sizeof earlier).u8(5).u8(6);
    radios.u8(3).u8(1).u8(1).u8(5).u8(6).u8(1).u8(1).u8(5).u8(6).u8(3).u8(0).u8(2).u8(1).u8(1).u8(5).u8(6);
    datagram(radios, 4, p.full).u8(6).u8(1).u8(5).u8(6);
    write("zvmp_passes", "radio_block_and_failures", radios);

    Output published_back;
    datagram(published_back, 2, p.full);
    datagram(published_back, 3, p.position);
    datagram(published_back, 0, p.limits).u8(5).u8(6);
    write("zvmp_passes", "program_packets", published_back);
}

void monitor_seeds(const Published& p)
{
    Output o;
    datagram(o, 0, p.full);
    datagram(o, 0, p.position).u8(1).u8(1).u8(1);
    datagram(o, 0, p.limits).u8(1).u8(1).u8(0).u8(2).u16(100);
    datagram(o, 2, p.full);
    datagram(o, 1, p.full).u8(1).u8(0).u8(1).u8(2).u16(40);
    o.u8(3).u32(static_cast<std::uint32_t>(-10)).u8(1).u8(1).u8(2).u8(2).u16(0);
    write("monitor_packets", "program_packets", o);

    Output cmd;
    datagram(cmd, 0, commands({"hdg", "270", "com1", "118.10"}));
    datagram(cmd, 0, radio_block()).u8(1).u8(1).u8(1).u8(2).u16(80);
    write("monitor_packets", "commands_and_radios", cmd);
}

void monitor_cli_seeds()
{
    auto words = [](std::vector<std::string_view> list) {
        Output o;
        for (std::string_view w : list) o.bytes(w.data(), w.size()).u8(0);
        return o;
    };
    write("monitor_cli", "watch", words({"--host", "127.0.0.1", "--port=59000", "--type", "84"}));
    write("monitor_cli", "send", words({"send", "hdg", "270", "alt", "12000", "vs", "-1500", "spd", "0.78",
                                        "com1", "118.10", "adf1", "350", "xpdr", "7000", "baro", "1013",
                                        "hdg-hold", "on", "fd-mode", "2", "efis-range", "40", "roll", "-20"}));
    write("monitor_cli", "list", words({"send", "--list"}));
    write("monitor_cli", "help", words({"--help"}));
}

void simconnect_seeds()
{
    auto raw = [](Output& o, const Bytes& b) -> Output& {
        return o.u8(0).u16(static_cast<std::uint16_t>(b.size())).bytes(b.data(), b.size());
    };
    Output o;
    o.u8(1).u8(SIMCONNECT_RECV_ID_OPEN).u8(1).u16(sizeof(SIMCONNECT_RECV_OPEN));
    for (std::size_t i = sizeof(SIMCONNECT_RECV); i < sizeof(SIMCONNECT_RECV_OPEN); ++i) o.u8(0);
    o.u8(1).u8(SIMCONNECT_RECV_ID_EVENT).u8(1).u16(sizeof(SIMCONNECT_RECV_EVENT));
    o.u32(SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP).u32(EVT_SIM_START).u32(0);
    raw(o, data_message).u8(2);
    Bytes moved = data_message;
    double later = 0;
    std::memcpy(&later, moved.data() + SIMOBJECT_DATA_HEADER_SIZE + 256, sizeof later);
    later += 1.5;
    std::memcpy(moved.data() + SIMOBJECT_DATA_HEADER_SIZE + 256, &later, sizeof later);
    raw(o, moved).u8(2);
    o.u8(1).u8(SIMCONNECT_RECV_ID_EXCEPTION).u8(1).u16(sizeof(SIMCONNECT_RECV_EXCEPTION)).u32(3).u32(7).u32(2);
    o.u8(1).u8(SIMCONNECT_RECV_ID_QUIT).u8(1).u16(sizeof(SIMCONNECT_RECV)).u8(2);
    write("simconnect_dispatch", "session", o);

    Output cut;
    Bytes short_block(data_message.begin(), data_message.end() - 1);
    raw(cut, short_block).u8(2);
    write("simconnect_dispatch", "short_block", cut);
}

void cpflight_seeds()
{
    auto text = [](Output& o, std::string_view s, int read_size) -> Output& {
        std::string t(s);
        for (char& c : t)
            if (c == '|') c = '\0';
        if (read_size == 0) return o.u8(0).u16(static_cast<std::uint16_t>(t.size())).bytes(t.data(), t.size());
        return o.u8(1).u16(static_cast<std::uint16_t>(t.size())).u8(static_cast<std::uint8_t>(read_size - 1))
            .bytes(t.data(), t.size());
    };
    Output o;
    o.u8(2);
    text(o, "K025|V03270|V04 12000|", 0).u8(2);
    text(o, "V02 .78|K021|S004|M002|V1010 2|V1100 1|", 3).u8(2);
    o.u8(3).u16(256 + 8 * 14).u8(8).bytes("\x00\x00\x00\x00\x00\x40\x6f\x40", 8).u8(2);
    text(o, "V05-1500|K032|K041|B001|K062|", 0).u8(4).u8(2).u8(5).u8(1).u8(2).u8(6).u8(2);
    write("cpflight_serial", "keys_dials_and_failures", o);

    // A unit that goes away (-w: found by the loop's wait), is looked for, and comes back.
    Output away;
    away.u8(2).u8(9).u16(7000).u8(2).u8(7).u8(3).u8(2).u8(9).u16(2000).u8(2).u8(8).u8(9).u16(2000).u8(2);
    text(away, "K025|", 0).u8(2).u8(7).u8(0).u8(2).u8(6);
    write("cpflight_serial", "unit_goes_away", away);
}

void sim_api_seeds()
{
    Output o;
    for (std::size_t i = 0; i < FLIGHT_VARIABLE_COUNT; ++i) {
        const FlightVariable& v = flightVariables[i];
        o.u8(3).u8(2).u8(0).u8(static_cast<std::uint8_t>(i)).u8(static_cast<std::uint8_t>(i)).u8(1)
            .u8(static_cast<std::uint8_t>(v.type));
    }
    for (std::size_t i = 0; i < FLIGHT_EVENT_COUNT; ++i)
        o.u8(5).u8(2).u8(static_cast<std::uint8_t>(flightEvents[i].id)).u8(1).u8(static_cast<std::uint8_t>(i));
    o.u8(7).u8(2).u8(0).u8(1).u8(0);                                      // SimStart
    o.u8(2).u8(2).u8(1).u8(1);                                            // dispatch: open, one call inside
    o.u8(4).u8(2).u8(0).u8(0).u8(0).u8(SIMCONNECT_PERIOD_VISUAL_FRAME).u8(0).u8(0).u8(0).u8(0);
    o.u8(8).u16(60).u8(2).u8(2).u8(1).u8(0);
    o.u8(6).u8(2).u8(0).u8(5).u32(270).u32(0x10);                        // an event with a value
    o.u8(8).u16(1000).u8(2).u8(2).u8(1).u8(2).u8(1).u8(2);               // a close inside a dispatch
    write("sim_api", "program_session", o);

    Output odd;
    odd.u8(3).u8(2).u8(1).u8(0x80).text("PLANE ALTITUDE").u8(0xE0).text("furlongs").u8(1).u8(4);
    odd.u8(3).u8(2).u8(1).u8(0).u8(0xA0).u8(1).u8(SIMCONNECT_DATATYPE_STRING256);
    odd.u8(4).u8(2).u8(1).u8(1).u8(0).u8(SIMCONNECT_PERIOD_SECOND).u8(1).u8(2).u8(1).u8(3);
    odd.u8(7).u8(2).u8(3).u8(1).u8(2).u8(9).f64(1.7e9 + 3600).u8(2).u8(2).u8(1).u8(0);
    odd.u8(9).f64(-1.0).u8(2).u8(2).u8(1).u8(0).u8(1).u8(2).u8(0).u8(2).u8(2).u8(1).u8(0);
    write("sim_api", "odd_requests", odd);
}

// A recording of the program's session: its header, the open message, the "SimStart" event, three
// blocks a frame apart, a heading command, the quit message and the end record. The first byte
// chooses: 0 as it is, 1 compressed by the target, 3 compressed and replayed in a loop.
void recording_seeds()
{
    Output file;
    std::vector<std::uint8_t> header = zvrec_encode_header(zvscpl_recording_header());
    file.bytes(header.data(), header.size());
    auto record = [&](std::uint8_t kind, std::uint64_t time_us, const Bytes& payload) {
        std::uint8_t head[ZVREC_RECORD_HEAD];
        zvrec_encode_record_head(head, kind, time_us, static_cast<std::uint32_t>(payload.size()));
        file.bytes(head, sizeof head).bytes(payload.data(), payload.size());
    };
    auto message = [](auto m) {
        auto* p = reinterpret_cast<const std::uint8_t*>(&m);
        return Bytes(p, p + sizeof m);
    };
    SIMCONNECT_RECV_OPEN open{};
    open.dwSize = sizeof open;
    open.dwID = SIMCONNECT_RECV_ID_OPEN;
    record(ZVREC_MESSAGE, 0, message(open));
    SIMCONNECT_RECV_EVENT event{};
    event.dwSize = sizeof event;
    event.dwID = SIMCONNECT_RECV_ID_EVENT;
    event.uEventID = EVT_SIM_START;
    record(ZVREC_MESSAGE, 1000, message(event));
    for (std::uint64_t k = 0; k < 3; ++k) record(ZVREC_MESSAGE, 27778 * (k + 1), data_message);
    record(ZVREC_CLIENT_EVENT, 90000, {EVT_HEADING_BUG_SET, 0, 0, 0, 14, 1, 0, 0});
    SIMCONNECT_RECV quit{sizeof(SIMCONNECT_RECV), 11, SIMCONNECT_RECV_ID_QUIT};
    record(ZVREC_MESSAGE, 100000, message(quit));
    record(ZVREC_END, 100000, {ZVREC_END_STOPPED});
    for (int choice : {0, 1, 3}) {
        Output seed;
        seed.u8(static_cast<std::uint8_t>(choice)).bytes(file.data().data(), file.data().size());
        write("recording", choice == 0 ? "session" : choice == 1 ? "session_compressed" : "session_looped", seed);
    }
}

// The program's session over the simulator's own protocol: its requests as a server reads them,
// cut across reads, and the simulator's messages as the program reads them; then bytes that a
// server refuses or that end a stream, and the queue of bytes to send.
void simwire_seeds()
{
    Bytes requests;
    std::uint32_t send_id = 1;
    auto add = [&requests, &send_id](const auto& r) {
        std::uint8_t b[ZVSW_MAX_REQUEST_SIZE];
        requests.insert(requests.end(), b, b + zvsw_encode_request(b, ZVSW_PROTOCOL_KITTYHAWK, send_id++, r));
    };
    add(zvsw_open_for(ZVSW_PROTOCOL_KITTYHAWK, TITLE_STRING));
    add(ZvswAddToDataDefinition{0, "TITLE", {}, SIMCONNECT_DATATYPE_STRING256, 0, SIMCONNECT_UNUSED});
    add(ZvswAddToDataDefinition{0, "PLANE ALTITUDE", "Feet", SIMCONNECT_DATATYPE_FLOAT64, 0, SIMCONNECT_UNUSED});
    add(ZvswMapClientEventToSimEvent{EVT_HEADING_BUG_SET, "HEADING_BUG_SET"});
    add(ZvswSubscribeToSystemEvent{EVT_SIM_START, "SimStart"});
    add(ZvswRequestDataOnSimObject{0, 0, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_VISUAL_FRAME, 0, 0, 0, 0});
    add(ZvswTransmitClientEvent{SIMCONNECT_OBJECT_ID_USER, EVT_HEADING_BUG_SET, 270,
                                SIMCONNECT_GROUP_PRIORITY_HIGHEST, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY});
    Bytes messages(4096);
    std::uint8_t* at = messages.data();
    SIMCONNECT_RECV_OPEN open{};
    std::memcpy(open.szApplicationName, "KittyHawk", 10);
    open.dwApplicationVersionMajor = 11;
    at += zvsw_encode_record(at, ZVSW_PROTOCOL_KITTYHAWK, open);
    SIMCONNECT_RECV_EVENT event{};
    event.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    event.uEventID = EVT_SIM_START;
    at += zvsw_encode_record(at, ZVSW_PROTOCOL_KITTYHAWK, event);
    SIMCONNECT_RECV_SIMOBJECT_DATA head{};
    std::uint32_t block_size = static_cast<std::uint32_t>(data_message.size() - SIMOBJECT_DATA_HEADER_SIZE);
    at += zvsw_encode_record(at, ZVSW_PROTOCOL_KITTYHAWK, head, data_message.data() + SIMOBJECT_DATA_HEADER_SIZE,
                             block_size);
    SIMCONNECT_RECV_EXCEPTION exception{};
    exception.dwException = SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED;
    exception.dwSendID = 3;
    exception.dwIndex = 2;
    at += zvsw_encode_record(at, ZVSW_PROTOCOL_KITTYHAWK, exception);
    at += zvsw_encode_record(at, ZVSW_PROTOCOL_KITTYHAWK, SIMCONNECT_RECV_QUIT{});
    messages.resize(static_cast<std::size_t>(at - messages.data()));

    auto read = [](Output& o, std::uint8_t op, const std::uint8_t* b, std::size_t n) -> Output& {
        return o.u8(op).u16(static_cast<std::uint16_t>(n)).bytes(b, n);
    };
    Output session;
    read(session, 0, requests.data(), 300);
    read(session, 0, requests.data() + 300, requests.size() - 300);
    read(session, 1, messages.data(), 1000);
    session.u8(2).u16(4096);
    read(session, 1, messages.data() + 1000, messages.size() - 1000);
    write("simwire", "session", session);

    Output odd;
    Bytes mismatch(requests.begin(), requests.begin() + ZVSW_OPEN_SIZE + 275);
    zvsw_put_u32(mismatch.data() + ZVSW_OPEN_SIZE, 275);
    read(odd, 0, mismatch.data(), mismatch.size());
    Bytes small{8, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0};
    read(odd, 1, messages.data(), ZVSW_RECV_OPEN_SIZE).u8(1).u16(4).bytes(small.data(), 4);
    odd.u8(3).u16(24).bytes(messages.data() + ZVSW_RECV_OPEN_SIZE, 24).u16(12);
    odd.u8(3).u16(24).bytes(messages.data() + ZVSW_RECV_OPEN_SIZE, 24).u16(12).u8(4).u16(17).u8(4).u16(100);
    write("simwire", "refusals_and_queue", odd);

    // zvsim's request path: the session's requests cut across reads, turns of a frame with the
    // client reading, then the refusals.
    Output served;
    read(served, 0, requests.data(), 300);
    read(served, 0, requests.data() + 300, requests.size() - 300);
    for (int frame = 0; frame < 4; ++frame) served.u8(1).u16(28).u16(64);
    read(served, 0, mismatch.data() + ZVSW_OPEN_SIZE, mismatch.size() - ZVSW_OPEN_SIZE).u8(1).u16(28).u16(64);
    write("zvsim_requests", "session", served);

    // The network client's receive path: the simulator's messages cut across reads with
    // dispatches between, then its close; and a connection broken by a malformed size, with the
    // open unanswered for 5 s and a transmission the socket takes only in part.
    Output client;
    read(client, 0, messages.data(), 700).u8(1).u8(2);
    read(client, 0, messages.data() + 700, messages.size() - 700).u8(1).u8(3).u8(1);
    write("simclient_receive", "session", client);
    Output broken;
    read(broken, 0, messages.data() + ZVSW_RECV_OPEN_SIZE, 24).u8(1).u8(6).u16(20).u8(5).u16(5000).u8(1);
    write("simclient_receive", "unanswered", broken);
    Output malformed;
    read(malformed, 0, messages.data(), ZVSW_RECV_OPEN_SIZE).u8(0).u16(4).bytes(small.data(), 4).u8(1);
    write("simclient_receive", "malformed", malformed);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER (fuzz/corpus)\n");
        return 2;
    }
    root = argv[1];
    install_fakes();
    verbose = 0;
    FlightData record{};
    simulator_block(record);
    Published p = published(record);
    zvmp_seeds(p);
    monitor_seeds(p);
    monitor_cli_seeds();
    simconnect_seeds();
    cpflight_seeds();
    sim_api_seeds();
    recording_seeds();
    simwire_seeds();
    return 0;
}
