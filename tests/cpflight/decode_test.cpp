// Decoding of the unit's commands: every code and the operation it reaches, observed in what
// goes to the simulator, in the EFIS state and in the flight-director switches.
#include <cstdint>
#include <ostream>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "tests/support/simconnect_double.h"

namespace {

using Sent = std::vector<std::pair<DWORD, DWORD>>;

Sent sent()
{
    Sent events;
    for (const scd::TransmitCall& t : scd::transmits) events.emplace_back(t.event_id, t.data);
    scd::transmits.clear();
    return events;
}

constexpr DWORD dword(int v) { return static_cast<DWORD>(v); }

// Everything a command can change, with the values each row starts from.
struct Observed {
    Sent sent = {};
    unsigned mode = 3, show = 0x23C;
    float range = 40.0f;
    unsigned n1 = 9, n2 = 9, fd1 = 7, fd2 = 7;
    bool operator==(const Observed&) const = default;
};

void PrintTo(const Observed& o, std::ostream* os)
{
    *os << "sent {";
    for (auto [id, data] : o.sent) *os << " " << id << "/" << data;
    *os << " } mode " << o.mode << " show 0x" << std::hex << o.show << std::dec << " range "
        << o.range << " sel " << o.n1 << "," << o.n2 << " fd " << o.fd1 << "," << o.fd2;
}

// The altimeter setting the rows start from: 1013.2 hPa, about 29.92 inHg.
constexpr double BARO_MB = 1013.2;

Observed run(const char* cmd, void (*setup)())
{
    const Observed start;
    fdata = FlightData{};
    fdata.kohlsman_setting_mb = BARO_MB;
    zvpyxcpf_hardware = ZvpyxcpfHardware{};
    zvpyxpl_fd_set_nd_mode(start.mode);
    zvpyxpl_fd_set_nd_show(start.show);
    zvpyxpl_fd_set_nd_range(start.range);
    zvpyxpl_fd_set_nd_nav1sel(start.n1);
    zvpyxpl_fd_set_nd_nav2sel(start.n2);
    zvpyxpl_fd_set_ap_fd1_mode(start.fd1);
    zvpyxpl_fd_set_ap_fd2_mode(start.fd2);
    if (setup != nullptr) setup();
    scd::transmits.clear();
    zvpyxcpf_process_cmd(cmd);
    return {sent(),
            zvpyxpl_fd_get_nd_mode(),
            zvpyxpl_fd_get_nd_show(),
            zvpyxpl_fd_get_nd_range(),
            zvpyxpl_fd_get_nd_nav1sel(),
            zvpyxpl_fd_get_nd_nav2sel(),
            zvpyxpl_fd_get_ap_fd1_mode(),
            zvpyxpl_fd_get_ap_fd2_mode()};
}

void autopilot_engaged()
{
    fdata.autopilot_master = 1;
    fdata.autopilot_flight_director_active = 1;
}
void flight_director_on() { fdata.autopilot_flight_director_active = 1; }
void throttle_armed() { fdata.autopilot_throttle_arm = 1; }

const Sent HOLDS_OFF = {{EVT_AP_AIRSPEED_SET, 0}, {EVT_AP_MACH_SET, 0}};
const Sent TO_MACH = {{EVT_AP_AIRSPEED_SET, 0}, {EVT_AP_MACH_SET, 1}};
const Sent ENGAGE = {{EVT_TOGGLE_FLIGHT_DIRECTOR, 0}, {EVT_AUTOPILOT_ON, 0}};
const Sent FD_ON = {{EVT_AUTOPILOT_OFF, 0}, {EVT_TOGGLE_FLIGHT_DIRECTOR, 0}};
const Sent FD_OFF = FD_ON;  // autopilot off, then the flight director toggled

}  // namespace

TEST(CpflightDecode, EveryKeyKnobAndSelector)
{
    struct Row {
        const char* cmd;
        Observed expected;
        void (*setup)() = nullptr;
    };
    const Row rows[] = {
        {"K023", {.sent = TO_MACH}},
        {"K0231", {.sent = TO_MACH}},  // characters after the code are ignored
        {"K010", {}},
        {"K012", {}},
        {"K030", {.sent = {{EVT_AP_PANEL_ALTITUDE_HOLD, 0}}}},
        {"K025", {.sent = {{EVT_AP_HDG_HOLD, 0}}}},
        {"K032", {.sent = ENGAGE}},
        {"K033", {.sent = ENGAGE}},
        {"K032", {.sent = {{EVT_AUTOPILOT_OFF, 0}}}, autopilot_engaged},
        {"K034", {}},
        {"K035", {}},
        {"K041", {}, autopilot_engaged},
        {"K040", {.sent = {{EVT_AUTOPILOT_OFF, 0}}}, autopilot_engaged},
        {"K021", {.sent = {{EVT_AP_N1_HOLD, 0}}}},
        {"K022", {.sent = {{EVT_AP_PANEL_SPEED_HOLD, 0}}}},
        {"K024", {}},
        {"K026", {}},
        {"K027", {.sent = {{EVT_AP_NAV1_HOLD, 0}}}},
        {"K028", {.sent = {{EVT_AP_LOC_HOLD, 0}}}},
        {"K029", {.sent = {{EVT_AP_APR_HOLD, 0}}}},
        {"K031", {}},
        {"K019", {.sent = {{EVT_AUTO_THROTTLE_ARM, 0}, HOLDS_OFF[0], HOLDS_OFF[1]}}},
        {"K019", {}, throttle_armed},
        {"K020", {}},
        {"K020", {.sent = {HOLDS_OFF[0], HOLDS_OFF[1], {EVT_AUTO_THROTTLE_ARM, 0}}}, throttle_armed},
        {"K037", {.sent = FD_ON, .fd1 = 1}},
        {"K038", {.sent = FD_OFF, .fd1 = 0}, flight_director_on},
        {"K017", {.sent = FD_ON, .fd2 = 1}},
        {"K018", {.sent = FD_OFF, .fd2 = 0}, flight_director_on},
        {"S000", {.range = 5}},
        {"S001", {.range = 10}},
        {"S002", {.range = 20}},
        {"S003", {.range = 40}},
        {"S004", {.range = 80}},
        {"S005", {.range = 160}},
        {"S006", {.range = 320}},
        {"S007", {.range = 640}},
        {"M001", {.mode = 0}},
        {"M002", {.mode = 1}},
        {"M003", {.mode = 2}},
        {"M004", {.mode = 4}},
        {"S008", {.show = 0x23E}},
        {"M005", {.show = 0x03C}},
        {"B001", {.show = 0x23D}},
        {"B002", {.show = 0x20C}},
        {"B003", {.show = 0x234}},
        {"B004", {.show = 0x238}},
        {"B005", {}},
        {"B006", {}},
        {"B007", {}},
        {"K070", {.n1 = 1}},
        {"K071", {.n1 = 2}},
        {"K072", {.n1 = 0}},
        {"K073", {.n2 = 1}},
        {"K074", {.n2 = 2}},
        {"K075", {.n2 = 0}},
        {"K049", {.sent = {{EVT_KOHLSMAN_SET, 16209}}}},
        {"K062", {.mode = 2}},
        {"K063", {.mode = 4}},
        {"K064", {.mode = 2}},
        {"K065", {.mode = 4}},
        {"K048", {}},
        {"K044", {}},
        {"K045", {}},
        {"V1010", {}},
        {"V10005", {}},
        {"V11103", {.sent = {{EVT_KOHLSMAN_SET, 16227}}}},
        {"V1100 2", {.sent = {{EVT_KOHLSMAN_SET, 16200}}}},
        {"V11101e40", {}},  // a count beyond single precision is dropped
        {"K099", {}},
        {"X", {}},
        {"", {}},
        {"k025", {}},
    };
    for (const Row& row : rows) EXPECT_EQ(run(row.cmd, row.setup), row.expected) << row.cmd;
    zvpyxcpf_process_cmd(nullptr);
    EXPECT_TRUE(scd::transmits.empty());
}

TEST(CpflightDecode, DialValuesAreStoredBeforeTheyAreSet)
{
    struct Row {
        const char* cmd;
        Sent sent;
    };
    // One after another: each value is compared with what the unit reported before.
    const Row rows[] = {
        {"V0435000", {{EVT_AP_ALT_VAR_SET_ENGLISH, 35000}}},
        {"V0435000", {}},
        {"V04", {{EVT_AP_ALT_VAR_SET_ENGLISH, 0}}},  // no digits give 0
        {"V04abc", {}},
        {"V0499999999999", {}},  // beyond 32 bits: dropped
        {"V01360", {{EVT_VOR1_SET, 360}}},
        {"V06230", {{EVT_VOR2_SET, 230}}},
        {"V03270", {{EVT_HEADING_BUG_SET, 270}}},
        {"V03 +270x", {}},
        {"V05-0700", {{EVT_AP_VS_VAR_SET_ENGLISH, dword(-700)}}},
        {"V05+1200", {{EVT_AP_VS_VAR_SET_ENGLISH, 1200}}},
        {"V051200", {}},
        {"V05-1250", {{EVT_AP_VS_VAR_SET_ENGLISH, dword(-1200)}}},
        {"V05-1250", {}},  // the unit's own value is kept, not the rounded one
        {"V05-2147483648", {{EVT_AP_VS_VAR_SET_ENGLISH, dword(-2147483600)}}},
        {"V05--2147483648", {}},
        {"V02 250", {{EVT_AP_SPD_VAR_SET, 250}}},
        {"V02 .78", {{EVT_AP_AIRSPEED_SET, 0}, {EVT_AP_MACH_SET, 1}, {EVT_AP_MACH_VAR_SET, 77}}},
        // Same number while the simulator is still in airspeed mode: only the mode follows.
        {"V02 .78", {{EVT_AP_AIRSPEED_SET, 0}, {EVT_AP_MACH_SET, 1}}},
        {"V02250", {{EVT_AP_SPD_VAR_SET, 250}}},
        {"V021e39", {}},
        {"V02 0x10", {{EVT_AP_MACH_VAR_SET, 0}}},  // decimal only: the number is 0
        {"V02 inf", {}},
    };
    for (const Row& row : rows) {
        zvpyxcpf_process_cmd(row.cmd);
        EXPECT_EQ(sent(), row.sent) << row.cmd;
    }
    const ZvpyxcpfHardware& hw = zvpyxcpf_hardware;
    EXPECT_EQ((std::vector<std::int32_t>{hw.crs1, hw.crs2, hw.hdg, hw.alt, hw.vs, hw.spd_is_mach}),
              (std::vector<std::int32_t>{360, 230, 270, 0, -2147483648, 0}));
    EXPECT_EQ(hw.spd, 0.0f);
}
