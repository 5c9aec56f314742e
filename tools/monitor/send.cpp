// Commands by name (see send.h).
#include "tools/monitor/send.h"

#include <cstdio>

#include "platform/clock.h"
#include "tools/monitor/catalogue.h"
#include "tools/monitor/node.h"

namespace {

constexpr unsigned int PASS_SLEEP_MS = 10;

void on_packet(zvmp_pkt_s*, sockaddr_in* from, unsigned int)
{
    if (zvmon_node_is_program(from)) zvmon_send_state.answered = true;
}

ZvmonCommands failed(std::string error)
{
    ZvmonCommands c;
    c.error = std::move(error);
    return c;
}

}  // namespace

ZvmonSendState zvmon_send_state;

ZvmonCommands zvmon_build_commands(std::span<const std::string_view> words)
{
    if (words.empty()) return failed("send needs NAME VALUE pairs (see zvmp-monitor send --list)");
    ZvmonCommands c;
    c.pkt.reset(zvmp_net_make_packet());
    if (!c.pkt) return failed("out of memory");
    for (std::size_t i = 0; i < words.size(); i += 2) {
        std::string name(words[i]);
        const ZvmonEntry* e = zvmon_entry_by_name(name);
        if (e == nullptr) return failed("unknown name '" + name + "' (see zvmp-monitor send --list)");
        if (i + 1 == words.size()) return failed(name + " needs a value");
        ZvmonParsed v = zvmon_parse_value(*e, words[i + 1]);
        if (!v.ok) return failed(v.error);
        if (!zvmp_net_add_msg_to_pkt(c.pkt.get(), e->id, &v.word)) return failed("too many commands for one packet");
        if (!c.summary.empty()) c.summary += ' ';
        c.summary += name + "=" + zvmon_format(*e, reinterpret_cast<const unsigned char*>(&v.word));
    }
    return c;
}

std::string zvmon_send_list()
{
    std::string out = "NAME          ID          SETS                              TAKES\n";
    for (const ZvmonEntry& e : zvmon_catalogue()) {
        if (e.input == ZvmonInput::None) continue;
        char line[256];
        std::snprintf(line, sizeof line, "%-13s 0x%08x  %-33s %s\n", e.name, e.id, e.label, e.takes);
        out += line;
    }
    return out;
}

int zvmon_run_send(const ZvmonTargetOptions& o, std::span<const std::string_view> words)
{
    zvmp_node_type = o.type_code << 24;
    ZvmonCommands c = zvmon_build_commands(words);
    if (!c.error.empty()) {
        std::fprintf(stderr, "zvmp-monitor: %s\n", c.error.c_str());
        return 2;
    }
    if (!zvmon_node_open(o.host, o.port, o.type_code)) {
        std::fprintf(stderr, "zvmp-monitor: cannot open a UDP socket\n");
        return 1;
    }
    // Commands are never answered, so the program shows that it is there by answering the
    // hello of the service's first pass with its own.
    zvmp_net_packet_received_callback = on_packet;
    const bool& answered = zvmon_send_state.answered;
    for (unsigned int waited = 0; !answered && waited < ZVMON_ANSWER_TIMEOUT_MS; waited += PASS_SLEEP_MS) {
        zvmon_node_service(false);
        if (!answered) plat_sleep_ms(PASS_SLEEP_MS);
    }
    if (!answered) {
        std::fprintf(stderr, "zvmp-monitor: no program answered at %s:%u within %u s\n", o.host, o.port,
                     ZVMON_ANSWER_TIMEOUT_MS / 1000);
        return 1;
    }
    zvmp_net_send_to_target(c.pkt.get(), c.pkt->length, zvmp_peer_with_addr_port(o.host, o.port));
    if (!zvmp_network_is_open()) {
        std::fprintf(stderr, "zvmp-monitor: sending to %s:%u failed\n", o.host, o.port);
        return 1;
    }
    std::printf("sent %s to %s:%u\n", c.summary.c_str(), o.host, o.port);
    return 0;
}
