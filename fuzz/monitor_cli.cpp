// Fuzz target: zvmp-monitor's command line. The input is the words after the program name,
// each ended by a NUL byte. A usable `send` line goes on to become the command packet, and
// every value it names is shown back as the summary does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/support/fakes.h"
#include "net/zvmpnet.h"
#include "tools/monitor/cli.h"
#include "tools/monitor/send.h"

using zvfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Each word in a heap block of exactly its size, so a read past its terminator shows.
    std::vector<std::vector<char>> words(1, std::vector<char>{'z', '\0'});
    std::vector<char> word;
    for (std::size_t i = 0; i < size; ++i) {
        word.push_back(static_cast<char>(data[i]));
        if (data[i] != '\0') continue;
        words.push_back(word);
        word.clear();
    }
    if (!word.empty()) {
        word.push_back('\0');
        words.push_back(word);
    }
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    ZvmonArgs a = zvmon_parse_args(static_cast<int>(words.size()), argv.data());
    check(a.port >= 1 && a.port <= 0xFFFF, "monitor port out of range");
    check(a.type_code == 0x81 || a.type_code == 0x84, "monitor node type not 81 or 84");
    if (!a.error.empty()) return 0;
    if (a.mode == ZvmonMode::List) {
        check(!zvmon_send_list().empty(), "empty send list");
    } else if (a.mode == ZvmonMode::Send) {
        ZvmonCommands c = zvmon_build_commands(a.words);
        check(c.error.empty() == (c.pkt != nullptr), "send packet and error disagree");
        if (c.pkt) {
            check(c.pkt->msg_count == a.words.size() / 2, "send packet lost a command");
            check(c.pkt->length <= ZVMP_PKT_MAX_LENGTH, "send packet above the largest datagram");
        }
    }
    return 0;
}
