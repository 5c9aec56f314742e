// The program as a client of a simulator's TCP server (remote SimConnect), against a server the
// tests script: what it registers and in which order, data blocks reaching a panel, a panel's
// command reaching the server, a refusal traced to the request it names, and the section of
// SimConnect.cfg that -n chooses. The faults of the connection are in client_faults_test.cpp.
#include <signal.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/client_rig.h"
#include "tests/support/scripted_server.h"

namespace {

using rig::WorkDir;
using scripted::Request;

// The server streaming the flight's blocks, and the program in a directory that points at it.
struct Session {
    scripted::Server server;
    WorkDir dir;
    ChildProcess program;
    explicit Session(const std::vector<std::string>& args)
        : dir(rig::section("SimConnect.0", server.port())), program(rig::program(dir, args))
    {
        server.stream_blocks(rig::flight_block, 20);
    }
};

std::string at(const scripted::Server& server) { return "127.0.0.1:" + std::to_string(server.port()); }

TEST(Client, RegistersInOrderThenCarriesBlocksToAPanelAndItsCommandsToTheServer)
{
    Session s({"-v", "-v"});
    ASSERT_TRUE(s.server.wait_type(ZVSW_REQUEST_DATA_ON_SIM_OBJECT, 1, 5000)) << s.program.output();
    std::vector<Request> r = s.server.requests();
    const std::size_t registration = 1 + FLIGHT_VARIABLE_COUNT + FLIGHT_EVENT_COUNT + 1 + 1;
    ASSERT_EQ(r.size(), registration) << s.program.output();

    for (std::size_t i = 0; i < r.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r[i].header.send_id, i + 1);  // consecutive from the Open's 1
        EXPECT_EQ(r[i].header.protocol, ZVSW_PROTOCOL_KITTYHAWK);
        EXPECT_EQ(r[i].check, ZVSW_REQUEST_OK);
        EXPECT_EQ(r[i].connection, 1u);
    }
    ASSERT_EQ(r[0].header.type, ZVSW_OPEN);
    EXPECT_EQ(r[0].name, "Zorvan FS2020 Pyx Plugin");
    EXPECT_EQ(std::memcmp(&r[0].identity, &ZVSW_IDENTITY_KITTYHAWK, sizeof(ZvswIdentity)), 0);

    // The definition of the record, variable by variable in its order, then every mapping.
    for (std::size_t v = 0; v < FLIGHT_VARIABLE_COUNT; ++v) {
        const Request& d = r[1 + v];
        SCOPED_TRACE(flightVariables[v].name);
        ASSERT_EQ(d.header.type, ZVSW_ADD_TO_DATA_DEFINITION);
        EXPECT_EQ(d.definition.define_id, 0u);
        EXPECT_EQ(d.name, flightVariables[v].name);
        EXPECT_EQ(d.units, flightVariables[v].units ? flightVariables[v].units : "");
        EXPECT_EQ(d.definition.datum_type, static_cast<std::uint32_t>(flightVariables[v].type));
        EXPECT_EQ(d.definition.epsilon, 0.0f);
        EXPECT_EQ(d.definition.datum_id, SIMCONNECT_UNUSED);
    }
    EXPECT_EQ(r[1].name, "TITLE");
    EXPECT_EQ(r[1].units, "");
    EXPECT_EQ(r[1].definition.datum_type, static_cast<std::uint32_t>(SIMCONNECT_DATATYPE_STRING256));
    EXPECT_EQ(r[2].name, "ABSOLUTE TIME");
    EXPECT_EQ(r[2].units, "Seconds");
    for (std::size_t e = 0; e < FLIGHT_EVENT_COUNT; ++e) {
        const Request& m = r[1 + FLIGHT_VARIABLE_COUNT + e];
        ASSERT_EQ(m.header.type, ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT);
        EXPECT_EQ(m.map.event_id, static_cast<std::uint32_t>(flightEvents[e].id));
        EXPECT_EQ(m.name, flightEvents[e].name);
    }
    const Request& sub = r[registration - 2];
    ASSERT_EQ(sub.header.type, ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT);
    EXPECT_EQ(sub.name, "SimStart");
    EXPECT_EQ(sub.subscribe.event_id, static_cast<std::uint32_t>(EVT_SIM_START));
    const ZvswRequestDataOnSimObject& dr = r[registration - 1].data_request;
    EXPECT_EQ(dr.request_id, 0u);
    EXPECT_EQ(dr.define_id, 0u);
    EXPECT_EQ(dr.object_id, SIMCONNECT_OBJECT_ID_USER);
    EXPECT_EQ(dr.period, static_cast<std::uint32_t>(SIMCONNECT_PERIOD_VISUAL_FRAME));
    EXPECT_EQ(dr.flags, 0u);
    EXPECT_TRUE(rig::wait_for_output(s.program,
                                     "\nFlight Simulator: KittyHawk 11.0 build 282174.999, SimConnect 11.0 at " +
                                         at(s.server),
                                     2000))
        << s.program.output();

    // The server's blocks in the panel's packets.
    panel::Client client;
    auto full = rig::start_streaming(client);
    ASSERT_TRUE(full.has_value()) << s.program.output();
    ASSERT_NE(full->find(rig::kLatitude), nullptr);
    EXPECT_EQ(rig::value(*full->find(rig::kLatitude)), rig::kBlockLatitude);
    ASSERT_NE(full->find(rig::kTrueHeading), nullptr);
    EXPECT_EQ(rig::value(*full->find(rig::kTrueHeading)), rig::kBlockHeading);
    EXPECT_GE(rig::watch_stream(client, 500).count, 5);

    // A block in pieces, cut in its size word, its header and its data, joined again.
    s.server.stream_blocks(nullptr, 20);
    std::vector<std::uint8_t> block = scripted::data_message(0, 0, rig::flight_block_at(100000, -33.75));
    s.server.send_split(block, {2, 13, 45, 300}, 20);
    auto joined = rig::wait_for_full(client, 2000, [](const panel::Packet& p) {
        const panel::Message* m = p.find(rig::kLatitude);
        return m != nullptr && rig::value(*m) == -33.75;
    });
    EXPECT_TRUE(joined.has_value()) << s.program.output();

    // The panel's heading command as the server's next request.
    client.send_float(rig::kMcpHeading, 270.0f, rig::kProgramPort);
    ASSERT_TRUE(s.server.wait_type(ZVSW_TRANSMIT_CLIENT_EVENT, 1, 2000)) << s.program.output();
    r = s.server.requests();
    const Request& t = r.back();
    ASSERT_EQ(t.header.type, ZVSW_TRANSMIT_CLIENT_EVENT);
    EXPECT_EQ(t.header.send_id, r.size());
    EXPECT_EQ(t.check, ZVSW_REQUEST_OK);
    EXPECT_EQ(t.transmit.object_id, SIMCONNECT_OBJECT_ID_USER);
    EXPECT_EQ(t.transmit.event_id, static_cast<std::uint32_t>(EVT_HEADING_BUG_SET));
    EXPECT_EQ(t.transmit.data, 270u);
    EXPECT_EQ(t.transmit.group_id, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
    EXPECT_EQ(t.transmit.flags, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);

    EXPECT_EQ(s.program.stop(SIGTERM, 2000), 0);
    EXPECT_EQ(s.program.output().rfind(rig::kHeader + "\nConnecting to Flight Simulator at " + at(s.server) +
                                           " (SimConnect.cfg, section 0) ...\nConnected to Flight Simulator!\n",
                                       0),
              0u)
        << s.program.output();
}

TEST(Client, NamesWhatAnExceptionsSendIdRefers)
{
    struct Case {
        std::uint32_t type;
        const char* name;  // of the request refused; null for the data request
        std::uint32_t exception;
        const char* line;
    };
    const Case cases[] = {
        {ZVSW_MAP_CLIENT_EVENT_TO_SIM_EVENT, "HEADING_BUG_SET", SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED,
         "Flight Simulator refused event \"HEADING_BUG_SET\": NAME_UNRECOGNIZED"},
        {ZVSW_ADD_TO_DATA_DEFINITION, "ABSOLUTE TIME", SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED,
         "Flight Simulator refused variable \"ABSOLUTE TIME\" (Seconds): NAME_UNRECOGNIZED"},
        {ZVSW_SUBSCRIBE_TO_SYSTEM_EVENT, "SimStart", SIMCONNECT_EXCEPTION_ERROR,
         "Flight Simulator refused system event \"SimStart\": ERROR"},
        {ZVSW_REQUEST_DATA_ON_SIM_OBJECT, nullptr, 99, "Flight Simulator refused the data request: exception 99"},
    };
    Session s({"-v"});
    ASSERT_TRUE(s.server.wait_type(ZVSW_REQUEST_DATA_ON_SIM_OBJECT, 1, 5000)) << s.program.output();
    const std::vector<Request> r = s.server.requests();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto refused = std::find_if(r.begin(), r.end(), [&](const Request& q) {
            return q.header.type == c.type && (c.name == nullptr || q.name == c.name);
        });
        ASSERT_NE(refused, r.end());
        std::uint32_t id = refused->header.send_id;
        s.server.send(scripted::exception_message(c.exception, id, 1));
        EXPECT_TRUE(rig::wait_for_output(s.program, std::string("\n") + c.line + "\n", 2000)) << s.program.output();
        EXPECT_TRUE(rig::wait_for_output(s.program,
                                         "Received exception " + std::to_string(static_cast<int>(c.exception)) +
                                             " for " + std::to_string(id) + "/1\n",
                                         2000))
            << s.program.output();
    }
    // An unknown send id names nothing, and the connection goes on.
    s.server.send(scripted::exception_message(SIMCONNECT_EXCEPTION_ERROR, 100000, 0));
    EXPECT_TRUE(rig::wait_for_output(s.program, "Received exception 1 for 100000/0\n", 2000)) << s.program.output();
    EXPECT_EQ(s.program.output().find("refused", s.program.output().find("100000/0")), std::string::npos);
    EXPECT_EQ(s.program.stop(SIGTERM, 2000), 0);
}

TEST(Client, ReachesTheSectionTheConfigIndexChooses)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string other, chosen;  // sections: one at a port nobody serves, one at the server
        unsigned index;
    };
    scripted::Server server;
    unsigned unused = 0;
    {
        scripted::Server gone;  // a port that was free a moment ago
        unused = gone.port();
    }
    const Case cases[] = {
        {"-n 1", {"-n", "1"}, "SimConnect.0", "SimConnect.1", 1},
        {"-n 2 beside a plain section", {"-n", "2"}, "SimConnect", "SimConnect.2", 2},
        {"a plain section serves 0", {}, "SimConnect.1", "SimConnect", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned before = server.connections();
        WorkDir dir(rig::section(c.other, unused) + rig::section(c.chosen, server.port()));
        ChildProcess program(rig::program(dir, c.args));
        EXPECT_TRUE(server.wait_connections(before + 1, 3000)) << program.output();
        EXPECT_TRUE(server.wait_type(ZVSW_OPEN, before + 1, 3000)) << program.output();
        EXPECT_TRUE(rig::wait_for_output(program,
                                         "\nConnecting to Flight Simulator at " + at(server) + " (SimConnect.cfg, section " +
                                             std::to_string(c.index) + ") ...\nConnected to Flight Simulator!\n",
                                         2000))
            << program.output();
        EXPECT_EQ(program.stop(SIGTERM, 2000), 0);
    }
}

}  // namespace
