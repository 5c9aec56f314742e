// The monitor's live view: values by name, the radio block word by word, the packet rate and
// the two renderings.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/messages.h"
#include "tools/monitor/view.h"

namespace {

void take_float(std::uint32_t id, float v)
{
    unsigned char p[4];
    std::memcpy(p, &v, 4);
    zvmon_view_take(id, p);
}

void take_word(std::uint32_t id, std::uint32_t v)
{
    unsigned char p[4];
    std::memcpy(p, &v, 4);
    zvmon_view_take(id, p);
}

}  // namespace

TEST(MonitorView, LineHoldsTheRateThenEveryReceivedValueInCatalogueOrder)
{
    EXPECT_EQ(zvmon_view_line(), "rate=0\n");
    take_float(zvmsg::MCP_HEADING, 270.0f);
    double lat = 47.25;
    unsigned char p[8];
    std::memcpy(p, &lat, 8);
    zvmon_view_take(zvmsg::LATITUDE, p);
    std::uint32_t radios[12] = {11030, 11455, 11210, 11300, 11810, 12150, 12345, 13000, 35000, 40000, 0, 140000};
    zvmon_view_take(zvmsg::RADIO_BLOCK, reinterpret_cast<const unsigned char*>(radios));
    take_word(zvmsg::XPDR_CODE, 2000);
    take_word(0x22011699, 5);  // not in the catalogue: ignored
    EXPECT_EQ(zvmon_view_line(),
              "rate=0 lat=47.250000 nav1=110.30 nav1s=114.55 nav2=112.10 nav2s=113.00 com1=118.10 "
              "com1s=121.50 com2=123.45 com2s=130.00 adf1=350.00 adf1s=400.00 adf2=0.00 adf2s=1400.00 "
              "xpdr=2000 hdg=270\n");
    take_float(zvmsg::MCP_HEADING, 90.0f);
    EXPECT_NE(zvmon_view_line().find(" hdg=90\n"), std::string::npos);
}

TEST(MonitorView, ValuesTheNextPacketOfTheirKindLacksLeaveIt)
{
    zvmon_view_state = ZvmonViewState{};
    take_float(zvmsg::MCP_HEADING, 270.0f);
    take_float(zvmsg::FD_BANK, -5.0f);
    zvmon_view_packet_done(2);
    take_float(zvmsg::SPEED_VS0, 110.0f);
    zvmon_view_packet_done(1);
    EXPECT_EQ(zvmon_view_line(), "rate=0 vs0=110 hdg=270 fd-bank=-5.00\n");
    take_float(zvmsg::MCP_HEADING, 90.0f);
    zvmon_view_packet_done(1);
    take_word(0x22011699, 5);  // not in the catalogue: the packet clears nothing
    zvmon_view_packet_done(1);
    EXPECT_EQ(zvmon_view_line(), "rate=0 vs0=110 hdg=90\n");
}

TEST(MonitorView, RateCountsTheDataPacketsOfTheLastFullSecond)
{
    zvmon_view_tick(1000);
    for (int i = 0; i < 20; ++i) zvmon_view_packet_done(51);
    zvmon_view_packet_done(0);  // a hello: not data
    EXPECT_EQ(zvmon_view_rate(), 0u);  // the second is not over
    zvmon_view_tick(1000);
    EXPECT_EQ(zvmon_view_rate(), 0u);
    zvmon_view_tick(1001);
    EXPECT_EQ(zvmon_view_rate(), 20u);
    zvmon_view_packet_done(6);
    zvmon_view_tick(1002);
    EXPECT_EQ(zvmon_view_rate(), 1u);
    zvmon_view_tick(1003);
    EXPECT_EQ(zvmon_view_rate(), 0u);
    EXPECT_EQ(zvmon_view_line().rfind("rate=0", 0), 0u);
}

TEST(MonitorView, ScreenShowsOneBlockPerSectionWithUnitsAndWrapsLongLines)
{
    take_float(zvmsg::MCP_HEADING, 270.0f);
    take_float(zvmsg::MCP_SPEED, 0.78f);
    take_word(zvmsg::COM1_ACTIVE, 11810);
    std::string screen = zvmon_view_screen("title", 100);
    EXPECT_EQ(screen, "title\n"
                      "Radios           com1 118.10 MHz\n"
                      "MCP              spd 0.780 Mach   hdg 270 deg\n");

    for (std::uint32_t id = zvmsg::PITCH; id <= zvmsg::DRIFT_ANGLE; ++id) take_float(id, -12.5f);
    std::string narrow = zvmon_view_screen("t", 60);
    EXPECT_EQ(narrow.substr(narrow.find("Attitude")),
              "Attitude         pitch-att -12.50 deg   bank -12.50 deg\n"
              "                 true-hdg -12.5 deg   magvar -12.5 deg\n"
              "                 aoa -12.50 deg   drift -12.50 deg\n"
              "Radios           com1 118.10 MHz\n"
              "MCP              spd 0.780 Mach   hdg 270 deg\n");
}
