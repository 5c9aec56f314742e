// The monitor's live view and loop (see view.h).
#include "tools/monitor/view.h"

#include <csignal>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "protocol/messages.h"
#include "net/zvmpnet.h"
#include "platform/clock.h"
#include "tools/monitor/catalogue.h"
#include "tools/monitor/node.h"

namespace {

// The view's state under a short name.
ZvmonViewState& state = zvmon_view_state;

constexpr unsigned int PASS_SLEEP_MS = 10;
// Passes between two redraws of the screen: about five a second.
constexpr unsigned int PASSES_PER_REDRAW = 20;
constexpr unsigned int SECTION_COLUMN = 17;
constexpr unsigned int DEFAULT_WIDTH = 100;
// Seconds without data after which the screen says so.
constexpr long long QUIET_SECONDS = 2;
// The speed-limit messages come once a second in a packet of their own.
bool is_speed_limit(const ZvmonEntry& e) { return zvmsg_group(e.id) == zvmsg::GROUP_SPEED_LIMITS; }

void store(const ZvmonEntry& e, const unsigned char* payload)
{
    auto i = static_cast<std::size_t>(&e - zvmon_catalogue().data());
    ZvmonShown& s = state.shown[i];
    s.value = zvmon_format(e, payload);
    s.with_unit = zvmon_format_with_unit(e, payload);
    state.in_packet[i] = true;
    if (!is_speed_limit(e)) state.packet_limits_only = false;
}

// A value the program no longer sends (the flight director's bars once it is off) leaves the
// view with the next packet of the kind that carried it.
void drop_values_the_packet_lacks()
{
    auto entries = zvmon_catalogue();
    bool stored = false;
    for (bool b : state.in_packet) stored = stored || b;
    for (std::size_t i = 0; stored && i < entries.size(); ++i)
        if (!state.in_packet[i] && is_speed_limit(entries[i]) == state.packet_limits_only) state.shown[i] = {};
    state.in_packet.assign(state.in_packet.size(), false);
    state.packet_limits_only = true;
}

void on_message(unsigned int id, void* data, sockaddr_in* from)
{
    if (!zvmsg_is_application(id) || !zvmon_node_is_program(from)) return;
    zvmon_view_take(id, static_cast<const unsigned char*>(data));
    ++state.messages_in_packet;
}

void on_packet(zvmp_pkt_s*, sockaddr_in*, unsigned int)
{
    if (state.messages_in_packet > 0) {
        zvmon_view_packet_done(state.messages_in_packet);
        zvmon_node_data_seen();
    }
    state.messages_in_packet = 0;
}

void on_signal(int) { state.stop_requested = 1; }

bool stdout_is_terminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

unsigned int terminal_width()
{
#ifndef _WIN32
    winsize ws{};
    if (ioctl(fileno(stdout), TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 40) return ws.ws_col;
#endif
    return DEFAULT_WIDTH;
}

std::string title(const ZvmonTargetOptions& o)
{
    char text[160];
    std::snprintf(text, sizeof text, "zvmp-monitor  %s:%u  as node type 0x%02X  %u packets/s", o.host, o.port,
                  o.type_code, state.rate);
    std::string t = text;
    if (state.last_data_second < 0)
        t += "  (waiting for data)";
    else if (state.current_second - state.last_data_second >= QUIET_SECONDS)
        t += "  (no data for " + std::to_string(state.current_second - state.last_data_second) + " s)";
    return t + "  Ctrl-C stops";
}

// False once standard output no longer takes what is written (a closed pipe).
bool put(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return std::ferror(stdout) == 0;
}

}  // namespace

ZvmonViewState zvmon_view_state;

void zvmon_view_listen()
{
    zvmp_net_message_received_callback = on_message;
    zvmp_net_packet_received_callback = on_packet;
}

void zvmon_view_take(std::uint32_t id, const unsigned char* payload)
{
    const ZvmonEntry* e = zvmon_entry_by_id(id);
    if (e == nullptr || payload == nullptr) return;
    if (e->show != ZvmonShow::RadioBlock) {
        store(*e, payload);
        return;
    }
    for (std::size_t i = 0; i < ZVMON_RADIO_WORD_IDS.size(); ++i)
        store(*zvmon_entry_by_id(ZVMON_RADIO_WORD_IDS[i]), payload + 4 * i);
}

void zvmon_view_packet_done(unsigned int messages)
{
    drop_values_the_packet_lacks();
    if (messages == 0) return;
    ++state.packets_this_second;
    state.last_data_second = state.current_second;
}

void zvmon_view_tick(long long second)
{
    if (second == state.current_second) return;
    if (state.current_second >= 0) state.rate = state.packets_this_second;
    state.packets_this_second = 0;
    state.current_second = second;
}

unsigned int zvmon_view_rate() { return state.rate; }

std::string zvmon_view_line()
{
    std::string line = "rate=" + std::to_string(state.rate);
    auto entries = zvmon_catalogue();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!state.shown[i].value.empty()) line += std::string(" ") + entries[i].name + "=" + state.shown[i].value;
    return line + "\n";
}

std::string zvmon_view_screen(const std::string& title_line, unsigned int width)
{
    std::string out = title_line + "\n";
    auto entries = zvmon_catalogue();
    for (std::size_t section = 0; section < ZVMON_SECTION_COUNT; ++section) {
        std::string line;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (static_cast<std::size_t>(entries[i].section) != section || state.shown[i].with_unit.empty()) continue;
            std::string item = std::string(entries[i].name) + " " + state.shown[i].with_unit;
            if (line.empty()) {
                line = zvmon_section_name(entries[i].section);
                line.resize(SECTION_COLUMN, ' ');
            } else if (line.size() + 3 + item.size() > width) {
                out += line + "\n";
                line.assign(SECTION_COLUMN, ' ');
            } else {
                line += "   ";
            }
            line += item;
        }
        if (!line.empty()) out += line + "\n";
    }
    return out;
}

int zvmon_run_monitor(const ZvmonTargetOptions& o)
{
    if (!zvmon_node_open(o.host, o.port, o.type_code)) {
        std::fprintf(stderr, "zvmp-monitor: cannot open a UDP socket\n");
        return 1;
    }
    zvmon_view_listen();
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);

    const bool terminal = stdout_is_terminal();
    // Hide the cursor and clear the screen once; each redraw then starts at the top left and
    // clears what the last one left beyond its own lines.
    bool writable = !terminal || put("\x1b[?25l\x1b[2J");
    for (unsigned int pass = 0; writable && !state.stop_requested; ++pass) {
        zvmon_node_service(true);
        long long now = plat_time();
        bool new_second = now != state.current_second;
        zvmon_view_tick(now);
        if (terminal && (new_second || pass % PASSES_PER_REDRAW == 0)) {
            std::string screen = zvmon_view_screen(title(o), terminal_width());
            std::string framed = "\x1b[H";
            for (std::size_t at = 0, nl; (nl = screen.find('\n', at)) != std::string::npos; at = nl + 1)
                framed += screen.substr(at, nl - at) + "\x1b[K\n";
            writable = put(framed + "\x1b[J");
        } else if (!terminal && new_second) {
            writable = put(zvmon_view_line());
        }
        plat_sleep_ms(PASS_SLEEP_MS);
    }
    zvmon_node_stop_stream();
    if (terminal) put("\x1b[?25h");
    return 0;
}
