// The Wireshark dissector on a captured session: dumpcap records loopback inside the test's
// network namespace while this node says hello, asks for the stream, sends a full data packet
// and a few malformed ones; tshark then decodes the capture with tools/wireshark/zvmp.lua and
// every decoded field is checked against the bytes sent. Skipped where tshark is not installed.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/messages.h"
#include "net/zvmpnet.h"
#include "tests/support/panel_client.h"
#include "tests/support/process.h"
#include "tools/monitor/catalogue.h"

namespace {

const char* const FIELDS[] = {
    "udp.payload",     "zvmp.node_type",   "zvmp.type_code",  "zvmp.version",      "zvmp.reserved",
    "zvmp.length",     "zvmp.msg_count",   "zvmp.msg.id",     "zvmp.msg.kind",     "zvmp.msg.words",
    "zvmp.msg.group",  "zvmp.msg.item",    "zvmp.msg.name",   "zvmp.msg.value",    "zvmp.msg.float",
    "zvmp.msg.double", "zvmp.msg.int",     "zvmp.msg.uint",   "zvmp.hello.node_type", "zvmp.radio.word",
    "zvmp.packet_type", "_ws.expert.message",
};

// One decoded packet: every field's occurrences, in order.
using Decoded = std::map<std::string, std::vector<std::string>>;

std::string find_program(const char* name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/usr/sbin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
    if (text.back() == sep) parts.emplace_back();
    return parts;
}

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    char b[3];
    for (std::uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02x", v);
        out += b;
    }
    return out;
}

std::vector<std::uint8_t> bytes_of(const zvmp_pkt_s* pkt)
{
    auto* p = reinterpret_cast<const std::uint8_t*>(pkt);
    return std::vector<std::uint8_t>(p, p + pkt->length);
}

std::uint32_t number(const std::string& text) { return static_cast<std::uint32_t>(std::stoul(text, nullptr, 0)); }

std::vector<std::uint32_t> numbers(const std::vector<std::string>& texts)
{
    std::vector<std::uint32_t> out;
    for (const std::string& t : texts) out.push_back(number(t));
    return out;
}

// A distinct value for the i-th catalogue message, of its payload's type.
std::vector<std::uint8_t> sample_payload(const ZvmonEntry& e, int i)
{
    std::vector<std::uint8_t> p(zvmsg_words(e.id) * 4);
    if (zvmsg_kind(e.id) == ZvmsgKind::Float64) {
        double d = 47.123456 + i;
        std::memcpy(p.data(), &d, 8);
    } else if (zvmsg_kind(e.id) == ZvmsgKind::Float32) {
        float f = (i % 2 ? -1.0f : 1.0f) * (static_cast<float>(i) + 0.25f);
        if (e.show == ZvmonShow::McpSpeed) f = 0.78f;
        std::memcpy(p.data(), &f, 4);
    } else {
        for (std::size_t w = 0; w < p.size() / 4; ++w) {
            std::uint32_t v = 11000u + 37u * static_cast<std::uint32_t>(i) + static_cast<std::uint32_t>(w);
            if (e.show == ZvmonShow::Int) v = static_cast<std::uint32_t>(-5 - i);
            if (e.show == ZvmonShow::Squawk) v = 400u + static_cast<std::uint32_t>(i);  // shown as 04xx
            std::memcpy(p.data() + 4 * w, &v, 4);
        }
    }
    return p;
}

class Capture {
public:
    explicit Capture(const std::string& file)
        : dumpcap_({find_program("dumpcap"), "-q", "-i", "lo", "-f", "udp", "-a", "duration:30", "-w", file}, true)
    {
        // The capture runs once the file holds its header.
        struct stat st {};
        for (int i = 0; i < 100 && !(stat(file.c_str(), &st) == 0 && st.st_size > 0); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ready_ = st.st_size > 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    bool ready() const { return ready_; }
    const std::string& errors() { return dumpcap_.errors(); }
    void finish()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        dumpcap_.stop(SIGINT, 5000);
    }

private:
    ChildProcess dumpcap_;
    bool ready_ = false;
};

std::vector<Decoded> decode(const std::string& file)
{
    std::vector<std::string> args = {find_program("tshark"), "-n", "-r", file, "-X",
                                     std::string("lua_script:") + ZV_SOURCE_DIR + "/tools/wireshark/zvmp.lua",
                                     "-Y", "zvmp", "-T", "fields", "-E", "separator=|", "-E", "occurrence=a",
                                     "-E", "aggregator=;"};
    for (const char* f : FIELDS) {
        args.push_back("-e");
        args.push_back(f);
    }
    ChildProcess tshark(args, true);
    EXPECT_EQ(tshark.wait(30000), 0) << tshark.errors();
    std::vector<Decoded> packets;
    for (const std::string& line : split(tshark.output(), '\n')) {
        if (line.empty()) continue;
        std::vector<std::string> columns = split(line, '|');
        EXPECT_EQ(columns.size(), std::size(FIELDS)) << line;
        Decoded d;
        for (std::size_t i = 0; i < columns.size() && i < std::size(FIELDS); ++i) d[FIELDS[i]] = split(columns[i], ';');
        packets.push_back(d);
    }
    return packets;
}

const Decoded* packet_with(const std::vector<Decoded>& packets, const std::vector<std::uint8_t>& bytes)
{
    for (const Decoded& d : packets)
        if (!d.at("udp.payload").empty() && d.at("udp.payload")[0] == hex(bytes)) return &d;
    return nullptr;
}

// Header and message fields of a well-formed packet against its bytes.
void expect_decoded_as_sent(const Decoded& d, const std::vector<std::uint8_t>& bytes)
{
    panel::Packet p = panel::parse(bytes);
    EXPECT_EQ(numbers(d.at("zvmp.node_type")), std::vector<std::uint32_t>{p.node_type});
    EXPECT_EQ(numbers(d.at("zvmp.type_code")), std::vector<std::uint32_t>{p.node_type >> 24});
    EXPECT_EQ(numbers(d.at("zvmp.version")), std::vector<std::uint32_t>{(p.node_type >> 16) & 0xFF});
    EXPECT_EQ(numbers(d.at("zvmp.reserved")), (std::vector<std::uint32_t>{0, 0, 0}));
    EXPECT_EQ(numbers(d.at("zvmp.length")), std::vector<std::uint32_t>{p.length});
    EXPECT_EQ(numbers(d.at("zvmp.msg_count")), std::vector<std::uint32_t>{p.msg_count});
    EXPECT_TRUE(d.at("_ws.expert.message").empty());

    std::vector<std::uint32_t> ids, kinds, words, groups, items, hello_types, radio_words, uints;
    std::vector<std::string> names, values;
    std::vector<double> floats, doubles;
    std::vector<std::int32_t> ints;
    for (const panel::Message& m : p.messages) {
        ids.push_back(m.id);
        kinds.push_back(m.id >> 24);
        words.push_back((m.id >> 16) & 0xFF);
        groups.push_back((m.id >> 8) & 0xFF);
        items.push_back(m.id & 0xFF);
        if (m.id == ZVMP_MSG_HELLO) {
            names.push_back("hello");
            hello_types.push_back(m.word());
            continue;
        }
        if (m.id == ZVMP_MSG_REQ_STREAM) {
            names.push_back("stream request");
            continue;
        }
        const ZvmonEntry* e = zvmon_entry_by_id(m.id);
        ASSERT_NE(e, nullptr);
        names.push_back(e->name);
        if (e->show == ZvmonShow::RadioBlock) {
            std::string summary;
            for (unsigned int w = 0; w < 12; ++w) {
                radio_words.push_back(m.word(w));
                const ZvmonEntry* word = zvmon_entry_by_id(ZVMON_RADIO_WORD_IDS[w]);
                summary += std::string(w ? ", " : "") + word->name + " " +
                           zvmon_format_with_unit(*word, m.payload.data() + 4 * w);
            }
            values.push_back(summary);
            continue;
        }
        values.push_back(zvmon_format_with_unit(*e, m.payload.data()));
        switch (zvmsg_kind(m.id)) {
        case ZvmsgKind::Float64: doubles.push_back(m.f64()); break;
        case ZvmsgKind::Float32: floats.push_back(m.f32()); break;
        default:
            if (e->show == ZvmonShow::Int)
                ints.push_back(static_cast<std::int32_t>(m.word()));
            else
                uints.push_back(m.word());
        }
    }
    EXPECT_EQ(numbers(d.at("zvmp.msg.id")), ids);
    EXPECT_EQ(numbers(d.at("zvmp.msg.kind")), kinds);
    EXPECT_EQ(numbers(d.at("zvmp.msg.words")), words);
    EXPECT_EQ(numbers(d.at("zvmp.msg.group")), groups);
    EXPECT_EQ(numbers(d.at("zvmp.msg.item")), items);
    EXPECT_EQ(d.at("zvmp.msg.name"), names);
    EXPECT_EQ(d.at("zvmp.msg.value"), values);
    EXPECT_EQ(numbers(d.at("zvmp.hello.node_type")), hello_types);
    EXPECT_EQ(numbers(d.at("zvmp.radio.word")), radio_words);
    EXPECT_EQ(numbers(d.at("zvmp.msg.uint")), uints);
    std::vector<std::int32_t> shown_ints;
    for (const std::string& t : d.at("zvmp.msg.int")) shown_ints.push_back(std::stoi(t));
    EXPECT_EQ(shown_ints, ints);
    ASSERT_EQ(d.at("zvmp.msg.float").size(), floats.size());
    for (std::size_t i = 0; i < floats.size(); ++i)
        EXPECT_NEAR(std::stod(d.at("zvmp.msg.float")[i]), floats[i], std::fabs(floats[i]) * 1e-6) << i;
    ASSERT_EQ(d.at("zvmp.msg.double").size(), doubles.size());
    for (std::size_t i = 0; i < doubles.size(); ++i)
        EXPECT_NEAR(std::stod(d.at("zvmp.msg.double")[i]), doubles[i], std::fabs(doubles[i]) * 1e-12) << i;
}

std::string expert_text(const Decoded& d)
{
    std::string all;
    for (const std::string& m : d.at("_ws.expert.message")) all += m + "\n";
    return all;
}

}  // namespace

TEST(Dissector, DecodesACapturedSessionFieldByField)
{
    if (find_program("tshark").empty() || find_program("dumpcap").empty())
        GTEST_SKIP() << "tshark is not installed (scripts/install-deps installs it)";
    char dir[] = "/tmp/zvmp-dissector-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/session.pcapng";

    Capture capture(file);
    ASSERT_TRUE(capture.ready()) << capture.errors();

    // This node, of type 0x81, on the first free port from 59000; the other end is a panel
    // socket on an ephemeral port.
    zvmp_initialise_network(nullptr, 0, 0x81000000);
    ASSERT_TRUE(zvmp_network_is_open());
    panel::Client program(0x13060000);
    zvmp_add_peer_target("127.0.0.1", program.port(), 0x13060000);
    zvmp_send_hello_packets();
    zvmp_req_stream_data_from("127.0.0.1", program.port());

    zvmp_pkt_ptr full(zvmp_net_make_packet());
    int i = 0;
    for (const ZvmonEntry& e : zvmon_catalogue()) {
        std::vector<std::uint8_t> payload = sample_payload(e, i++);
        ASSERT_TRUE(zvmp_net_add_msg_to_pkt(full.get(), e.id, payload.data()));
    }
    zvmp_net_send_to_target(full.get(), full->length, zvmp_peer_with_addr_port("127.0.0.1", program.port()));

    // Malformed packets, from the panel socket to this node's port.
    auto hello_of = [](std::uint32_t node) { return panel::word_message(ZVMP_MSG_HELLO, node); };
    std::vector<std::uint8_t> long_length = panel::packet_bytes(0x13060000, {hello_of(0x13060000)});
    long_length[16] = 40;  // 32 bytes sent
    std::vector<std::uint8_t> cut = panel::packet_bytes(0x13060000, {panel::word_message(zvmsg::LATITUDE, 5)});
    std::vector<std::uint8_t> short_count = panel::packet_bytes(
        0x13060000, {panel::word_message(zvmsg::GEAR_HANDLE, 1), panel::word_message(zvmsg::XPDR_MODE, 2)});
    short_count[20] = 3;
    std::vector<std::uint8_t> type_coded = {1, 0, 0, 0, 0, 0, 6, 0x84};
    for (const auto& bytes : {long_length, cut, short_count, type_coded}) program.send_raw(bytes, 59000);
    // Noise: headers with message counts and identifiers drawn at random (fixed seed), cut at
    // random lengths. The dissector must decode each without a script error.
    std::mt19937 random(8);
    for (int n = 0; n < 40; ++n) {
        std::vector<panel::Message> messages;
        for (int m = 0; m < 4; ++m) messages.push_back(panel::word_message(static_cast<std::uint32_t>(random()), 0));
        std::vector<std::uint8_t> noise = panel::packet_bytes(0x13060000 + n % 3 * 0x01000000, messages);
        noise.resize(4 + random() % noise.size());
        if (noise.size() > 20) noise[20] = static_cast<std::uint8_t>(random());
        program.send_raw(noise, 59000);
    }
    capture.finish();

    std::vector<Decoded> packets = decode(file);
    EXPECT_GE(packets.size(), 47u);
    for (const Decoded& d : packets) EXPECT_EQ(expert_text(d).find("Lua Error"), std::string::npos) << expert_text(d);
    std::vector<std::uint8_t> hello = panel::packet_bytes(0x81060000, {hello_of(0x81060000)});
    std::vector<std::uint8_t> request =
        panel::packet_bytes(0x81060000, {hello_of(0x81060000), panel::Message{ZVMP_MSG_REQ_STREAM, {}}});
    {
        SCOPED_TRACE("hello");
        const Decoded* d = packet_with(packets, hello);
        ASSERT_NE(d, nullptr);
        expect_decoded_as_sent(*d, hello);
    }
    {
        SCOPED_TRACE("stream request");
        const Decoded* d = packet_with(packets, request);
        ASSERT_NE(d, nullptr);
        expect_decoded_as_sent(*d, request);
    }
    {
        SCOPED_TRACE("full packet");
        const Decoded* d = packet_with(packets, bytes_of(full.get()));
        ASSERT_NE(d, nullptr);
        expect_decoded_as_sent(*d, bytes_of(full.get()));
    }

    const Decoded* d = packet_with(packets, long_length);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(expert_text(*d).find("Length field says 40 bytes, 32 bytes arrived"), std::string::npos)
        << expert_text(*d);
    d = packet_with(packets, cut);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(expert_text(*d).find("Message 0x27021101 states 8 payload bytes, 4 remain"), std::string::npos)
        << expert_text(*d);
    EXPECT_TRUE(d->at("zvmp.msg.name").empty());
    d = packet_with(packets, short_count);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(expert_text(*d).find("Message count says 3, 2 messages are present"), std::string::npos)
        << expert_text(*d);
    EXPECT_EQ(d->at("zvmp.msg.name"), (std::vector<std::string>{"gear", "xpdr-mode"}));
    d = packet_with(packets, type_coded);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(numbers(d->at("zvmp.packet_type")), std::vector<std::uint32_t>{1});
    EXPECT_EQ(numbers(d->at("zvmp.hello.node_type")), std::vector<std::uint32_t>{0x84060000});

    std::remove(file.c_str());
    rmdir(dir);
}
