// Panel commands: which operation each message reaches, with what value.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "app/panel_commands.h"
#include "flightdata/flightdata.h"
#include "panel/efis.h"
#include "panel/mcp.h"
#include "tests/support/simconnect_double.h"

namespace {

using Sent = std::vector<std::pair<DWORD, DWORD>>;  // (client event, data)

Sent sent()
{
    Sent out;
    for (const auto& t : scd::transmits) out.emplace_back(t.event_id, t.data);
    return out;
}

std::vector<std::uint8_t> word_payload(std::uint32_t w)
{
    std::vector<std::uint8_t> p(4);
    std::memcpy(p.data(), &w, 4);
    return p;
}

std::vector<std::uint8_t> float_payload(float f)
{
    std::vector<std::uint8_t> p(4);
    std::memcpy(p.data(), &f, 4);
    return p;
}

void deliver(unsigned int id, std::vector<std::uint8_t> payload)
{
    sockaddr_in from{};
    // An exactly sized heap copy, so a read past the payload is caught by AddressSanitizer.
    std::vector<std::uint8_t> copy(payload);
    zvscpl_zvmp_message_callback(id, copy.empty() ? nullptr : copy.data(), &from);
}

constexpr DWORD u(int v) { return static_cast<DWORD>(v); }

TEST(PanelCommands, EveryAcceptedIdentifierReachesItsOperation)
{
    struct Case {
        unsigned int id;
        std::vector<std::uint8_t> payload;
        Sent events;
    };
    const std::vector<Case> cases = {
        {0x26011201, float_payload(29.92f), {{1, 16209}}},
        {0x22011612, word_payload(2), {{30, 1}}},
        {0x22011621, word_payload(1), {{34, 0}, {27, 0}, {28, 0}}},
        {0x22011622, word_payload(1), {{24, 1}}},
        {0x22011622, word_payload(0), {{25, 1}}},
        {0x22011623, word_payload(1), {}},
        {0x22011624, word_payload(1), {{14, 1}}},
        {0x22011625, word_payload(1), {{17, 1}}},
        {0x22011626, word_payload(0), {{12, 1}}},
        {0x22011627, word_payload(1), {}},
        {0x22011628, word_payload(1), {{21, 1}}},
        {0x22011629, word_payload(1), {}},
        {0x2201162a, word_payload(1), {}},
        {0x26011601, float_payload(35000.0f), {{4, 35000}}},
        {0x26011603, float_payload(359.9f), {{7, 359}}},
        {0x26011604, float_payload(-1499.9f), {{8, u(-1400)}}},
        {0x26011604, float_payload(-150.7f), {{8, u(-100)}}},
        {0x26011604, float_payload(-0.5f), {{8, 0}}},
        {0x26011631, float_payload(45.7f), {{9, 45}}},
        {0x26011632, float_payload(230.2f), {{10, 230}}},
        {0x26011602, float_payload(0.78f), {{27, 0}, {28, 1}, {6, 77}}},
        {0x26011602, float_payload(250.0f), {{28, 0}, {27, 1}, {5, 250}}},
        {0x26011602, float_payload(5.0f), {{28, 0}, {27, 1}, {5, 5}}},
        {0x26011602, float_payload(4.99f), {{27, 0}, {28, 1}, {6, 498}}},
        {0x22011611, word_payload(7), {{27, 0}, {28, 1}}},
        {0x22011611, word_payload(0), {{28, 0}, {27, 1}}},
        {0x22011801, word_payload(2), {{31, 0}, {32, 0}}},
        {0x22011801, word_payload(0), {{33, 0}}},
        {0x26011901, float_payload(1.0f), {{57, u(-182)}}},
        {0x26011902, float_payload(-1.0f), {{56, 182}}},
        {0x26011903, float_payload(0.5f), {{58, u(-91)}}},
        {0x22011d11, word_payload(11030), {{47, 0x1030}}},
        {0x22011d12, word_payload(11390), {{49, 0x1390}}},
        {0x22011d13, word_payload(11810), {{43, 0x1810}}},
        {0x22011d14, word_payload(12150), {{45, 0x2150}}},
        {0x22011d15, word_payload(35000), {{51, 0x03500000}}},
        {0x22011d16, word_payload(179950), {{53, 0x17995000}}},
        {0x22011d21, word_payload(11170), {{48, 0x1170}}},
        {0x22011d22, word_payload(11180), {{50, 0x1180}}},
        {0x22011d23, word_payload(11820), {{44, 0x1820}}},
        {0x22011d24, word_payload(11830), {{46, 0x1830}}},
        {0x22011d31, word_payload(7000), {{55, 0x7000}}},
    };
    hSimConnect = scd::handle;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "id 0x" << c.id);
        scd::transmits.clear();
        zvpyxpl_fd_set_ap_source(0);
        scd::transmits.clear();
        deliver(c.id, c.payload);
        EXPECT_EQ(sent(), c.events);
        for (const auto& t : scd::transmits) {
            EXPECT_EQ(t.object_id, SIMCONNECT_OBJECT_ID_USER);
            EXPECT_EQ(t.group_id, SIMCONNECT_GROUP_PRIORITY_HIGHEST);
            EXPECT_EQ(t.flags, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
        }
    }
}

TEST(PanelCommands, ProgramHeldValuesAreStoredUnchanged)
{
    deliver(0x22011701, word_payload(4));
    deliver(0x22011702, word_payload(0x1C1));
    deliver(0x26011703, float_payload(160.0f));
    deliver(0x22011711, word_payload(2));  // no selector mapping on this path
    deliver(0x22011712, word_payload(0));
    deliver(0x22011d25, word_payload(35000));
    deliver(0x22011d26, word_payload(12345));
    deliver(0x22011d32, word_payload(3));
    deliver(0x22011612, word_payload(1));
    EXPECT_EQ(zvpyxpl_efis1_get_mode(), 4u);
    EXPECT_EQ(zvpyxpl_efis1_get_show(), 0x1C1u);
    EXPECT_EQ(zvpyxpl_efis1_get_range(), 160.0f);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav1sel(), 2u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav2sel(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_adf1s(), 35000u);
    EXPECT_EQ(zvpyxpl_fd_get_adf2s(), 12345u);
    EXPECT_EQ(zvpyxpl_fd_get_xpdr_mode(), 3u);
    EXPECT_EQ(zvpyxpl_fd_get_ap_source(), 1u);
    EXPECT_TRUE(scd::transmits.empty());  // 0 to 1 does not touch the GPS switch
}

TEST(PanelCommands, RadioBlockCallsAllTwelveSettersInWordOrder)
{
    hSimConnect = scd::handle;
    const std::uint32_t words[12] = {11030, 11170, 11390, 11180, 11810, 11820, 12150, 11830,
                                     35000, 40099, 179950, 27599};
    std::vector<std::uint8_t> payload(48);
    std::memcpy(payload.data(), words, 48);
    deliver(0x2a0c1d31, payload);
    // ADF words reach their setters divided by 100, in kHz: 350, 400, 1799, 275.
    EXPECT_EQ(sent(), (Sent{{47, 0x1030}, {48, 0x1170}, {49, 0x1390}, {50, 0x1180}, {43, 0x1810}, {44, 0x1820},
                            {45, 0x2150}, {46, 0x1830}, {51, 0x03500000}, {53, 0x17990000}}));
    EXPECT_EQ(zvpyxpl_fd_get_adf1s(), 400u);
    EXPECT_EQ(zvpyxpl_fd_get_adf2s(), 275u);

    scd::transmits.clear();
    deliver(0x2a0c1d31, std::vector<std::uint8_t>(48, 0));
    ASSERT_EQ(scd::transmits.size(), 10u);  // the two ADF standby setters send nothing
    EXPECT_EQ(zvpyxpl_fd_get_adf1s(), 0u);
    EXPECT_EQ(zvpyxpl_fd_get_adf2s(), 0u);
}

TEST(PanelCommands, IgnoredIdentifiersChangeNothing)
{
    hSimConnect = scd::handle;
    const unsigned int ignored[] = {
        0x02010101,  // hello: bit 29 clear
        0x01000102,  // stream request
        0x06011201,  // the altimeter identifier with bit 29 clear
        0x22011613, 0x22011620, 0x22011d17, 0x22011d20, 0x22011d27, 0x22011d30,
        0x26011202,  // wind speed is only ever sent
        0x26011404, 0x22011501, 0x26011802, 0x26011803, 0x27021101, 0x26011301, 0x2201ff01,
    };
    for (unsigned int id : ignored) {
        SCOPED_TRACE(testing::Message() << std::hex << "id 0x" << id);
        deliver(id, std::vector<std::uint8_t>(4 * ((id >> 16) & 0xFF), 0x11));
    }
    EXPECT_TRUE(scd::transmits.empty());
    EXPECT_EQ(zvpyxpl_efis1_get_show(), 0x23Cu);
    EXPECT_EQ(zvpyxpl_efis1_get_mode(), 0u);
}

TEST(PanelCommands, DialValuesThatAreNotNumbersAreDroppedAndHugeOnesClamped)
{
    hSimConnect = scd::handle;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (unsigned int id : {0x26011601u, 0x26011603u, 0x26011604u, 0x26011631u, 0x26011632u})
        deliver(id, float_payload(nan));
    EXPECT_TRUE(scd::transmits.empty());

    deliver(0x26011603, float_payload(1e10f));
    deliver(0x26011603, float_payload(-inf));
    deliver(0x26011604, float_payload(inf));
    deliver(0x26011604, float_payload(-1e10f));
    deliver(0x26011601, float_payload(-1.0f));  // an unsigned dial takes the integer's bits
    EXPECT_EQ(sent(), (Sent{{7, 0x7FFFFFFFu},
                            {7, 0x80000000u},
                            {8, u(2147483600)},
                            {8, u(-2147483600)},
                            {4, 0xFFFFFFFFu}}));
}

TEST(PanelCommands, SpeedThatIsNotANumberSelectsKnotsAndSetsNothingElse)
{
    hSimConnect = scd::handle;
    deliver(0x26011602, float_payload(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(sent(), (Sent{{28, 0}, {27, 1}}));
}

}  // namespace
