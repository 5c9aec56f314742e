// Writes, as JSON into the file it is given, every SimConnect request the program makes when it
// connects and for a few panel commands, in its order and with its arguments, as the SimConnect
// double records them: the calls tests/node/capture-requests.js has node-simconnect make.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/program_calls.h"
#include "tests/support/simconnect_double.h"

namespace {

std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string number(unsigned long v) { return std::to_string(v); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: node_program_calls OUTPUT.json\n");
        return 2;
    }
    scd::run_program_calls();

    std::size_t open = 0, definition = 0, mapping = 0, subscription = 0, request = 0, transmit = 0;
    std::vector<std::string> lines;
    for (const std::string& call : scd::calls) {
        std::string line;
        if (call == "Open") {
            const scd::OpenCall& c = scd::opens.at(open++);
            line = "{\"call\": \"Open\", \"name\": " + quoted(c.name) + ", \"config_index\": " + number(c.config_index) +
                   "}";
        } else if (call == "AddToDataDefinition") {
            const scd::DefinitionCall& c = scd::definitions.at(definition++);
            char epsilon[32];
            std::snprintf(epsilon, sizeof epsilon, "%.9g", static_cast<double>(c.epsilon));
            line = "{\"call\": \"AddToDataDefinition\", \"define_id\": " + number(c.define_id) +
                   ", \"datum_name\": " + quoted(c.datum_name) +
                   ", \"units\": " + (c.units_null ? std::string("null") : quoted(c.units)) +
                   ", \"type\": " + number(c.type) + ", \"epsilon\": " + epsilon +
                   ", \"datum_id\": " + number(c.datum_id) + "}";
        } else if (call == "MapEvent") {
            const scd::MapCall& c = scd::mappings.at(mapping++);
            line = "{\"call\": \"MapClientEventToSimEvent\", \"event_id\": " + number(c.event_id) +
                   ", \"event_name\": " + quoted(c.event_name) + "}";
        } else if (call == "Subscribe") {
            const scd::SubscribeCall& c = scd::subscriptions.at(subscription++);
            line = "{\"call\": \"SubscribeToSystemEvent\", \"event_id\": " + number(c.event_id) +
                   ", \"event_name\": " + quoted(c.event_name) + "}";
        } else if (call == "RequestData") {
            const scd::RequestCall& c = scd::requests.at(request++);
            line = "{\"call\": \"RequestDataOnSimObject\", \"request_id\": " + number(c.request_id) +
                   ", \"define_id\": " + number(c.define_id) + ", \"object_id\": " + number(c.object_id) +
                   ", \"period\": " + number(c.period) + ", \"flags\": " + number(c.flags) +
                   ", \"origin\": " + number(c.origin) + ", \"interval\": " + number(c.interval) +
                   ", \"limit\": " + number(c.limit) + "}";
        } else if (call == "Transmit") {
            const scd::TransmitCall& c = scd::transmits.at(transmit++);
            line = "{\"call\": \"TransmitClientEvent\", \"object_id\": " + number(c.object_id) +
                   ", \"event_id\": " + number(c.event_id) + ", \"data\": " + number(c.data) +
                   ", \"group_id\": " + number(c.group_id) + ", \"flags\": " + number(c.flags) + "}";
        } else if (call == "CallDispatch" || call == "Close") {
            continue;  // nothing goes out
        } else {
            std::fprintf(stderr, "node_program_calls: no JSON for the call \"%s\"\n", call.c_str());
            return 1;
        }
        lines.push_back(line);
    }
    if (transmit == 0) {
        std::fprintf(stderr, "node_program_calls: the panel commands made no transmission\n");
        return 1;
    }
    // The program's own lines went to standard output: the calls go to a file of their own.
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::fprintf(stderr, "node_program_calls: cannot write %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    std::fprintf(out, "[\n");
    for (std::size_t i = 0; i < lines.size(); ++i)
        std::fprintf(out, "  %s%s\n", lines[i].c_str(), i + 1 < lines.size() ? "," : "");
    std::fprintf(out, "]\n");
    if (std::fclose(out) != 0) {
        std::fprintf(stderr, "node_program_calls: cannot write %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    return 0;
}
