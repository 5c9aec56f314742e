// Publishing: what streaming panels receive, checked on the wire through loopback sockets.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "app/publish.h"
#include "app/pyxplugin.h"
#include "flightdata/flightdata.h"
#include "net/zvmpnet.h"
#include "panel/mcp.h"
#include "platform/clock.h"
#include "protocol/messages.h"
#include "tests/support/panel_client.h"

namespace {

constexpr unsigned int kProgramPort = 59000;  // first free port of a fresh namespace

const std::vector<std::uint32_t> kCommon = {
    0x27021101, 0x27021102, 0x27021103, 0x26011104, 0x26011106, 0x26011105, 0x26011107,
    0x2601110a, 0x2601110b, 0x2601110d, 0x2601110c, 0x2601110e, 0x26011110, 0x26011111,
    0x26011108, 0x26011109, 0x26011203, 0x26011202, 0x26011204, 0x26011201,
};
const std::vector<std::uint32_t> kAutopilotDials = {0x26011601, 0x26011604, 0x22011611, 0x26011602,
                                                    0x26011603, 0x26011631, 0x26011632};
const std::vector<std::uint32_t> kFlightDirectorBars = {0x26011803, 0x26011802};
const std::vector<std::uint32_t> kAutopilotWords = {0x22011612, 0x22011621, 0x22011626, 0x22011624,
                                                    0x22011627, 0x22011625, 0x22011628, 0x22011622,
                                                    0x22011623, 0x22011629, 0x2201162a, 0x22011801};
const std::vector<std::uint32_t> kEfis = {0x22011702, 0x22011701, 0x26011703, 0x22011711, 0x22011712};

std::vector<std::uint32_t> concat(std::initializer_list<std::vector<std::uint32_t>> parts)
{
    std::vector<std::uint32_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

constexpr double kDegToRad = 3.141592653589793 / 180.0;

void fill_airborne_record()
{
    fdata = FlightData{};
    std::strcpy(fdata.title, "Test Airliner");
    fdata.absolute_time = 63800000000.0;
    fdata.plane_latitude = 47.5;
    fdata.plane_longitude = -122.25;
    fdata.indicated_altitude = 10000.0;
    fdata.plane_heading_degrees_true = 123.0;
    fdata.kohlsman_setting_mb = 1013.25;
    fdata.flaps_handle_percent = 50.0;
    fdata.gear_handle_position = 1;
    fdata.transponder_available_1 = 1;
    fdata.transponder_code_1 = 7000;
    fdata.com_available_1 = 1;
    fdata.com_active_frequency_1 = 118100000;
    fdata.com_standby_frequency_1 = 121500000;
    fdata.nav_available_2 = 1;
    fdata.nav_active_frequency_2 = 110300000;
    fdata.nav_standby_frequency_2 = 113900000;
    fdata.autopilot_available = 1;
    fdata.autopilot_heading_lock_dir = 270.0 * kDegToRad;
    fdata.autopilot_altitude_lock_var = 35000.0 / 3.2808399;
    fdata.autopilot_vertical_hold_var = -1500.0 / 60.0 / 3.2808399;
    fdata.autopilot_airspeed_hold_var = 250.0 / 1.94384449;
    fdata.nav_obs_1 = 45.0 * kDegToRad;
    fdata.nav_obs_2 = 230.0 * kDegToRad;
    fdata.autopilot_heading_lock = 1;
    fdata.design_speed_vs0 = 110.0;
    fdata.design_speed_vs1 = 120.0;
    fdata.design_speed_vc = 310.0;
    fdata.airspeed_barber_pole = 340.0;
    fdata.mach_max_operate = 0.82;
}

class Publishing : public testing::Test {
protected:
    void SetUp() override
    {
        zvmp_initialise_network("0.0.0.0", 0, 0x13000000);
        ASSERT_TRUE(zvmp_network_is_open());
        fill_airborne_record();
    }

    // The panel says hello and asks for the stream; the next service call takes it in.
    void stream(panel::Client& client)
    {
        unsigned int before = zvmp_number_of_stream_clients();
        client.request_stream(kProgramPort);
        for (int i = 0; i < 100 && zvmp_number_of_stream_clients() == before; ++i) {
            plat_sleep_ms(1);
            zvmp_showtime();
        }
        client.receive_for(20);  // the hellos of that service call
    }

    static std::vector<panel::Packet> data_packets(panel::Client& client)
    {
        std::vector<panel::Packet> out;
        for (auto& p : client.receive_for(50))
            if (!p.is_hello()) out.push_back(p);
        return out;
    }
};

TEST_F(Publishing, FullPacketUnderEachCondition)
{
    struct Case {
        const char* title;
        void (*prepare)();
        std::vector<std::uint32_t> ids;
    };
    const Case cases[] = {
        {"autopilot unavailable", [] { fdata.autopilot_available = 0; },
         concat({kCommon, {0x22011501, 0x26011503, 0x2a0c1d31, 0x22011d31, 0x22011d32}, kEfis})},
        {"autopilot available, flight director inactive", [] {},
         concat({kCommon, {0x22011501, 0x26011503, 0x2a0c1d31, 0x22011d31, 0x22011d32}, kAutopilotDials,
                 kAutopilotWords, kEfis})},
        {"flight director active", [] { fdata.autopilot_flight_director_active = 1; },
         concat({kCommon, {0x22011501, 0x26011503, 0x2a0c1d31, 0x22011d31, 0x22011d32}, kAutopilotDials,
                 kFlightDirectorBars, kAutopilotWords, kEfis})},
        {"transponder unavailable", [] { fdata.transponder_available_1 = 0; },
         concat({kCommon, {0x22011501, 0x26011503, 0x2a0c1d31, 0x22011d32}, kAutopilotDials, kAutopilotWords,
                 kEfis})},
    };
    panel::Client client(0x81060000);
    stream(client);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        fill_airborne_record();
        c.prepare();
        zvscpl_send_subsecond_data();
        auto packets = data_packets(client);
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].ids(), c.ids);
        EXPECT_EQ(packets[0].node_type, 0x13060000u);
        EXPECT_EQ(packets[0].length, packets[0].bytes.size());
    }
}

TEST_F(Publishing, FullPacketPayloads)
{
    fdata.autopilot_flight_director_active = 1;
    fdata.autopilot_flight_director_bank = 2.0;
    fdata.attitude_indicator_bank_degrees = 0.1;
    panel::Client client(0x81060000);
    stream(client);
    zvscpl_send_subsecond_data();
    auto packets = data_packets(client);
    ASSERT_EQ(packets.size(), 1u);
    const panel::Packet& p = packets[0];

    // Latitude 47.5 as float64, the bytes as they lie in the packet.
    const auto* lat = p.find(0x27021101);
    ASSERT_NE(lat, nullptr);
    EXPECT_EQ(lat->payload, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0xC0, 0x47, 0x40}));
    EXPECT_DOUBLE_EQ(p.find(0x27021103)->f64(), 3048.0);
    EXPECT_FLOAT_EQ(p.find(0x26011106)->f32(), 123.0f);
    EXPECT_FLOAT_EQ(p.find(0x26011201)->f32(), static_cast<float>(1013.25f / 33.86f));
    EXPECT_EQ(p.find(0x22011501)->word(), 1u);
    EXPECT_FLOAT_EQ(p.find(0x26011503)->f32(), 0.5f);

    // Radio block: NAV1 unavailable, NAV2 available, COM1 available, COM2 and both ADF not.
    const auto* radios = p.find(0x2a0c1d31);
    ASSERT_NE(radios, nullptr);
    ASSERT_EQ(radios->payload.size(), 48u);
    const std::uint32_t expected_words[12] = {0, 0, 11030, 11390, 11810, 12150, 0, 0, 0, 0, 0, 0};
    for (unsigned int i = 0; i < 12; ++i) EXPECT_EQ(radios->word(i), expected_words[i]) << "word " << i;
    EXPECT_EQ(p.find(0x22011d31)->word(), 7000u);
    EXPECT_EQ(p.find(0x22011d32)->word(), 0u);

    // The MCP heading 270 as float32: 00 00 87 43.
    EXPECT_EQ(p.find(0x26011603)->payload, (std::vector<std::uint8_t>{0, 0, 0x87, 0x43}));
    EXPECT_FLOAT_EQ(p.find(0x26011601)->f32(), 35000.0f);
    EXPECT_FLOAT_EQ(p.find(0x26011604)->f32(), -1500.0f);
    EXPECT_FLOAT_EQ(p.find(0x26011602)->f32(), 250.0f);
    EXPECT_FLOAT_EQ(p.find(0x26011631)->f32(), 45.0f);
    EXPECT_FLOAT_EQ(p.find(0x26011632)->f32(), 230.0f);
    EXPECT_EQ(p.find(0x22011611)->word(), 0u);
    EXPECT_EQ(p.find(0x22011624)->word(), 2u);
    EXPECT_EQ(p.find(0x22011626)->word(), 0u);
    EXPECT_EQ(p.find(0x22011801)->word(), 1u);
    EXPECT_FLOAT_EQ(p.find(0x26011803)->f32(), static_cast<float>(57.2957795 * 0.1 + 2.0));

    EXPECT_EQ(p.find(0x22011702)->word(), 0x23Cu);
    EXPECT_EQ(p.find(0x22011701)->word(), 0u);
    EXPECT_FLOAT_EQ(p.find(0x26011703)->f32(), 40.0f);
    EXPECT_EQ(p.find(0x22011711)->word(), 1u);
    EXPECT_EQ(p.find(0x22011712)->word(), 1u);

    // 51 messages at most: 464 bytes of messages on a 24-byte header.
    EXPECT_EQ(p.messages.size(), 51u);
    EXPECT_EQ(p.bytes.size(), 24u + 464u);
}

TEST_F(Publishing, EachPeerTypeGetsItsPacket)
{
    panel::Client full(0x81060000);
    panel::Client position(0x84060000);
    panel::Client other(0x85060000);
    panel::Client silent(0x81060000);  // says hello but never asks for the stream
    stream(full);
    stream(position);
    other.request_stream(kProgramPort);
    silent.hello(kProgramPort);
    zvmp_showtime();
    ASSERT_EQ(zvmp_number_of_stream_clients(), 3u);

    zvscpl_send_subsecond_data();
    auto f = data_packets(full);
    auto p = data_packets(position);
    ASSERT_EQ(f.size(), 1u);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_TRUE(f[0].is_full());
    EXPECT_EQ(p[0].ids(), kCommon);
    EXPECT_EQ(p[0].bytes.size(), 24u + 172u);
    // The common values are the same in both packets.
    for (std::size_t i = 0; i < kCommon.size(); ++i) EXPECT_EQ(p[0].messages[i].payload, f[0].messages[i].payload);
    EXPECT_TRUE(data_packets(other).empty());
    EXPECT_TRUE(data_packets(silent).empty());

    zvscpl_send_second_data();
    auto fs = data_packets(full);
    auto ps = data_packets(position);
    ASSERT_EQ(fs.size(), 1u);
    ASSERT_EQ(ps.size(), 1u);
    EXPECT_TRUE(data_packets(other).empty());
    for (const auto* s : {&fs[0], &ps[0]}) {
        EXPECT_EQ(s->ids(), (std::vector<std::uint32_t>{0x26011401, 0x26011402, 0x26011405, 0x26011404, 0x26011403,
                                                        0x26011406}));
        EXPECT_FLOAT_EQ(s->find(0x26011401)->f32(), 110.0f);
        EXPECT_FLOAT_EQ(s->find(0x26011402)->f32(), 120.0f);
        EXPECT_FLOAT_EQ(s->find(0x26011403)->f32(), 310.0f);
        EXPECT_EQ(s->find(0x26011404)->payload, (std::vector<std::uint8_t>{0, 0, 0, 0}));
        EXPECT_FLOAT_EQ(s->find(0x26011405)->f32(), 340.0f);
        EXPECT_FLOAT_EQ(s->find(0x26011406)->f32(), 0.82f);
        EXPECT_EQ(s->bytes.size(), 24u + 48u);
    }
}

TEST_F(Publishing, NothingGoesOutWhileNobodyStreams)
{
    panel::Client client(0x81060000);
    client.hello(kProgramPort);
    zvmp_showtime();
    client.receive_for(20);
    ASSERT_EQ(zvmp_number_of_stream_clients(), 0u);
    zvscpl_send_subsecond_data();
    zvscpl_send_second_data();
    EXPECT_TRUE(data_packets(client).empty());

    // Once streaming stops, data stops too.
    stream(client);
    client.stop_stream(kProgramPort);
    zvmp_showtime();
    client.receive_for(20);
    zvscpl_send_subsecond_data();
    EXPECT_TRUE(data_packets(client).empty());
}

TEST_F(Publishing, ValuesBeyondFloatRangeBecomeInfinities)
{
    fdata.plane_heading_degrees_true = 1e300;
    fdata.plane_pitch_degrees = 1e300;  // published with its sign reversed
    fdata.airspeed_indicated = std::nan("");
    panel::Client client(0x84060000);
    stream(client);
    zvscpl_send_subsecond_data();
    auto packets = data_packets(client);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].find(0x26011106)->f32(), INFINITY);
    EXPECT_EQ(packets[0].find(0x26011104)->f32(), -INFINITY);
    EXPECT_TRUE(std::isnan(packets[0].find(0x2601110b)->f32()));
}

}  // namespace
