// The program's connection and a few panel commands, run against the SimConnect double.
#include "tests/support/program_calls.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "app/panel_commands.h"
#include "app/pyxplugin.h"
#include "protocol/messages.h"
#include "tests/support/simconnect_double.h"

namespace {

struct Command {
    std::uint32_t id;
    std::vector<std::uint8_t> payload;
};

template <typename T>
std::vector<std::uint8_t> bytes_of(T value)
{
    std::vector<std::uint8_t> p(sizeof value);
    std::memcpy(p.data(), &value, sizeof value);
    return p;
}

// Transmissions of each kind of value: a dial, a negative number (its 32-bit word), a BCD
// frequency, the transponder's code and a control input.
const std::vector<Command> commands = {
    {zvmsg::MCP_HEADING, bytes_of(359.9f)},
    {zvmsg::MCP_VERTICAL_SPEED, bytes_of(-1499.9f)},
    {zvmsg::COM1_ACTIVE, bytes_of(std::uint32_t{11810})},
    {zvmsg::XPDR_CODE, bytes_of(std::uint32_t{7000})},
    {zvmsg::ROLL_INPUT, bytes_of(1.0f)},
};

}  // namespace

void scd::run_program_calls()
{
    reset();
    queue_open();
    // The second dispatch runs after the open message: the commands go out as a panel's
    // would, then the simulator quits.
    on_dispatch = [] {
        if (dispatches != 2) return;
        sockaddr_in from{};
        for (Command c : commands) zvscpl_zvmp_message_callback(c.id, c.payload.data(), &from);
        queue_quit();
    };
    zvscpl_run_loop();
    on_dispatch = nullptr;
}
