// The EFIS control panel: mode stepping, option buttons, selectors, range and the barometric
// knob (through the SimConnect double).
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "flightdata/flightdata.h"
#include "panel/efis.h"
#include "tests/flightdata/command_case.h"
#include "tests/support/simconnect_double.h"

namespace {

constexpr unsigned kMaxU = std::numeric_limits<unsigned>::max();

TEST(Efis, InitialState)
{
    EXPECT_EQ(zvpyxpl_efis1_get_mode(), 0u);
    EXPECT_EQ(zvpyxpl_efis1_get_show(), 0x23Cu);
    EXPECT_EQ(zvpyxpl_efis1_get_range(), 40.0f);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav1sel(), 1u);
    EXPECT_EQ(zvpyxpl_fd_get_nd_nav2sel(), 1u);
}

TEST(Efis, ModeStepsOverZeroOneTwoFour)
{
    struct Row {
        unsigned from, up, down;
    };
    const Row rows[] = {
        {0, 1, 4}, {1, 2, 0}, {2, 4, 1}, {3, 4, 2}, {4, 0, 2},
        {5, 0, 4}, {6, 0, 4}, {7, 0, 4}, {kMaxU, 0, 4}, {kMaxU - 1, 0, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.from);
        zvpyxpl_efis1_set_mode(r.from);
        zvpyxpl_efis1_inc_mode();
        EXPECT_EQ(zvpyxpl_efis1_get_mode(), r.up);
        zvpyxpl_efis1_set_mode(r.from);
        zvpyxpl_efis1_dec_mode();
        EXPECT_EQ(zvpyxpl_efis1_get_mode(), r.down);
    }

    // The selectors that step the mode: hPa and BARO up, inHg and RADIO down.
    struct Step {
        void (*press)();
        unsigned expected;
    };
    zvpyxpl_efis1_set_mode(2);
    for (const Step& s : {Step{zvpyxpl_efis1_select_hpa, 4}, Step{zvpyxpl_efis1_mins_select_baro, 0},
                          Step{zvpyxpl_efis1_select_inhg, 4}, Step{zvpyxpl_efis1_mins_select_radio, 2}}) {
        s.press();
        EXPECT_EQ(zvpyxpl_efis1_get_mode(), s.expected);
    }
}

TEST(Efis, OptionButtonsToggleTheirBitsAndKeepTheRest)
{
    struct Row {
        const char* what;
        unsigned from;
        void (*press)();
        unsigned expected;
    };
    const Row rows[] = {
        {"WXR", 0x23C, zvpyxpl_efis1_press_wxr, 0x23D},
        {"TFC", 0x23C, zvpyxpl_efis1_press_tfc, 0x23E},
        {"ARPT", 0x23C, zvpyxpl_efis1_press_arpt, 0x238},
        {"WPT", 0x23C, zvpyxpl_efis1_press_wpt, 0x234},
        {"STA clears both", 0x23C, zvpyxpl_efis1_press_sta, 0x20C},
        {"STA sets both", 0x20C, zvpyxpl_efis1_press_sta, 0x23C},
        {"STA with only 0x020", 0x020, zvpyxpl_efis1_press_sta, 0x000},
        {"STA with only 0x010", 0x010, zvpyxpl_efis1_press_sta, 0x000},
        {"CTR", 0x23C, zvpyxpl_efis1_press_ctr, 0x03C},
        {"WXR with foreign bits", 0x1C0, zvpyxpl_efis1_press_wxr, 0x1C1},
        {"WXR off with everything else", 0xFFFFFFFF, zvpyxpl_efis1_press_wxr, 0xFFFFFFFE},
        {"STA with foreign bits", 0xFFFFFDC0, zvpyxpl_efis1_press_sta, 0xFFFFFDF0},
        {"STA off with everything else", 0xFFFFFFFF, zvpyxpl_efis1_press_sta, 0xFFFFFFCF},
        {"CTR with foreign bits", 0x80001C0, zvpyxpl_efis1_press_ctr, 0x80003C0},
        {"DATA", 0x23C, zvpyxpl_efis1_press_data, 0x23C},
        {"POS", 0x23C, zvpyxpl_efis1_press_pos, 0x23C},
        {"TERR", 0x23C, zvpyxpl_efis1_press_terr, 0x23C},
        {"FPV", 0x23C, zvpyxpl_efis1_press_fpv, 0x23C},
        {"MTRS", 0x23C, zvpyxpl_efis1_press_mtrs, 0x23C},
        {"minimums reset", 0x23C, zvpyxpl_efis1_mins_press_rst, 0x23C},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        zvpyxpl_efis1_set_show(r.from);
        zvpyxpl_efis1_set_mode(2);
        r.press();
        EXPECT_EQ(zvpyxpl_efis1_get_show(), r.expected);
        EXPECT_EQ(zvpyxpl_efis1_get_mode(), 2u);
    }
}

TEST(Efis, SelectorsRangeAndInertControls)
{
    struct Row {
        unsigned pos, stored;
    };
    for (const Row& r : {Row{0, 2}, Row{1, 0}, Row{2, 1}, Row{7, 1}, Row{kMaxU, 1}}) {
        SCOPED_TRACE(r.pos);
        zvpyxpl_efis1_set_vas1(r.pos);
        EXPECT_EQ(zvpyxpl_fd_get_nd_nav1sel(), r.stored);
        zvpyxpl_efis1_set_vas2(r.pos);
        EXPECT_EQ(zvpyxpl_fd_get_nd_nav2sel(), r.stored);
    }

    zvpyxpl_efis1_set_range(160.0f);
    EXPECT_EQ(zvpyxpl_efis1_get_range(), 160.0f);
    zvpyxpl_efis1_set_range(-3.5f);  // stored unchecked
    EXPECT_EQ(zvpyxpl_efis1_get_range(), -3.5f);

    zvpyxpl_efis1_set_mode(1);
    zvpyxpl_efis1_set_show(0x23C);
    scd::transmits.clear();
    zvpyxpl_efis1_mins_press_rst();
    zvpyxpl_efis1_inc_mins(3.0f);
    zvpyxpl_efis1_dec_mins(3.0f);
    EXPECT_EQ(zvpyxpl_efis1_get_mode(), 1u);
    EXPECT_EQ(zvpyxpl_efis1_get_show(), 0x23Cu);
    EXPECT_EQ(zvpyxpl_efis1_get_range(), -3.5f);
    EXPECT_TRUE(scd::transmits.empty());
}

TEST(Efis, BarometerKnobAndStd)
{
    // 1013.2 hPa reads 29.923214 inHg; each step is 0.01 inHg, and the setting goes out as
    // millibars times 16.
    const CommandCase cases[] = {
        {"up 3 steps", FRAME(f.kohlsman_setting_mb = 1013.2), DO(zvpyxpl_efis1_inc_baro(3.0f)), {{1, 16227}}},
        {"down 2 steps", FRAME(f.kohlsman_setting_mb = 1013.2), DO(zvpyxpl_efis1_dec_baro(2.0f)), {{1, 16200}}},
        {"half a step", FRAME(f.kohlsman_setting_mb = 1013.2), DO(zvpyxpl_efis1_inc_baro(0.5f)), {{1, 16213}}},
        {"up 100 steps", FRAME(f.kohlsman_setting_mb = 1013.2), DO(zvpyxpl_efis1_inc_baro(100.0f)), {{1, 16752}}},
        {"down from zero has no floor", FRAME(), DO(zvpyxpl_efis1_dec_baro(1.0f)), {{1, static_cast<DWORD>(-5)}}},
        {"steps not a number send nothing", FRAME(f.kohlsman_setting_mb = 1013.2),
         DO(zvpyxpl_efis1_inc_baro(std::numeric_limits<float>::quiet_NaN())), {}},
        {"infinite steps clamp", FRAME(f.kohlsman_setting_mb = 1013.2),
         DO(zvpyxpl_efis1_dec_baro(std::numeric_limits<float>::infinity())), {{1, 0x80000000u}}},
        {"STD", FRAME(f.kohlsman_setting_mb = 1013.2), DO(zvpyxpl_efis1_press_std()), {{1, 16209}}},
        {"set", FRAME(), DO(zvpyxpl_efis1_set_baro(30.0f)), {{1, 16252}}},
    };
    for (const CommandCase& c : cases) check(c);

    std::memset(&fdata, 0, sizeof fdata);
    fdata.kohlsman_setting_mb = 1013.2;
    EXPECT_FLOAT_EQ(zvpyxpl_efis1_get_baro(), 29.923214f);
}

}  // namespace
