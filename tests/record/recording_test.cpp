// Recording with -r and replaying in the built-in simulator: where the recording goes and what the
// program says, a disk that stalls or fails, reading back what was written and where a damaged
// file breaks off, and the replay's timing, loop, sessions and refusals.
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/pyxplugin.h"
#include "app/recording.h"
#include "app/report.h"
#include "flightdata/flightdata.h"
#include "platform/clock.h"
#include "record/reader.h"
#include "record/writer.h"
#include "sim/replay.h"
#include "tests/sim/sim_client.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::atomic<long long> fake_us{0};

struct RecordingTest : testing::Test {
    fs::path dir;
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("zvrec-test-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fake_us = 0;
        plat_monotonic_us = [] { return fake_us.load(); };
        plat_time = [] { return 1700000000LL; };  // 2023-11-14 22:13:20 UTC
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override
    {
        zvscpl_stop_recording();
        zvrec_sink = zvrec_sink_gzip;
        fs::remove_all(dir);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
};

Bytes file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
}

Bytes inflated(const std::string& path)
{
    Bytes out(1 << 22);
    gzFile f = gzopen(path.c_str(), "rb");
    int n = gzread(f, out.data(), static_cast<unsigned>(out.size()));
    gzclose(f);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

std::string captured(const std::function<void()>& run)
{
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

// Messages as the simulator library hands them over.
Bytes open_message(const char* name)
{
    SIMCONNECT_RECV_OPEN m{};
    m.dwSize = sizeof m;
    m.dwVersion = 11;
    m.dwID = SIMCONNECT_RECV_ID_OPEN;
    std::snprintf(m.szApplicationName, sizeof m.szApplicationName, "%s", name);
    m.dwApplicationVersionMajor = 11;
    auto* p = reinterpret_cast<const std::uint8_t*>(&m);
    return Bytes(p, p + sizeof m);
}

Bytes head_message(SIMCONNECT_RECV_ID id, std::size_t size)
{
    Bytes m(size);
    SIMCONNECT_RECV head{static_cast<DWORD>(size), 11, static_cast<DWORD>(id)};
    std::memcpy(m.data(), &head, sizeof head);
    return m;
}

Bytes data_message(double absolute_time, double heading_bug = 1.0)
{
    Bytes m = head_message(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, SIMOBJECT_DATA_HEADER_SIZE + sizeof(FlightData));
    FlightData block{};
    std::snprintf(block.title, sizeof block.title, "Recorded airliner");
    block.absolute_time = absolute_time;
    block.autopilot_heading_lock_dir = heading_bug;
    std::memcpy(m.data() + SIMOBJECT_DATA_HEADER_SIZE, &block, sizeof block);
    return m;
}

void record_at(long long us, const Bytes& message)
{
    fake_us = us;
    zvscpl_dispatch_proc(reinterpret_cast<SIMCONNECT_RECV*>(const_cast<std::uint8_t*>(message.data())),
                         static_cast<DWORD>(message.size()), nullptr);
}

constexpr long long FRAME_US = 1000000 / 36;

// A session as the program records it: the open message, the "SimStart" event, ten blocks a
// frame apart from 50 ms on, a heading command sent, and the quit message at 450 ms.
void record_session(long long from_us = 0, double from_time = 1000.0)
{
    record_at(from_us, open_message("Recorded simulator"));
    record_at(from_us + 10000, head_message(SIMCONNECT_RECV_ID_EVENT, sizeof(SIMCONNECT_RECV_EVENT)));
    for (int k = 0; k < 10; ++k) record_at(from_us + 50000 + k * FRAME_US, data_message(from_time + k / 36.0));
    fake_us = from_us + 400000;
    zvpyxpl_fd_transmit(EVT_HEADING_BUG_SET, 270);
    record_at(from_us + 450000, head_message(SIMCONNECT_RECV_ID_QUIT, sizeof(SIMCONNECT_RECV)));
}

TEST_F(RecordingTest, StartSaysWhereTheRecordingGoesAndKeepsAnExistingFile)
{
    struct Case {
        const char* given;
        std::vector<const char*> existing;
        std::string printed;  // with "@" for the folder
        const char* recorded;  // null: none
        ZvrecState state;
    };
    const Case cases[] = {
        {"flight.zvrec", {}, "\nRecording to @/flight.zvrec ...", "flight.zvrec", ZvrecState::On},
        {"flight.zvrec", {"flight.zvrec"}, "\n@/flight.zvrec exists, recording to @/flight-20231114-221320.zvrec ...",
         "flight-20231114-221320.zvrec", ZvrecState::On},
        {"flight", {"flight", "flight-20231114-221320"}, "\n@/flight exists, recording to @/flight-20231114-221320-2 ...",
         "flight-20231114-221320-2", ZvrecState::On},
        {"no-such-folder/flight.zvrec", {}, "\nUnable to record to @/no-such-folder/flight.zvrec: No such file or directory",
         nullptr, ZvrecState::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* name : c.existing) write_file(path(name), {'k', 'e', 'p', 't'});
        std::string out = captured([&] { zvscpl_start_recording(path(c.given).c_str()); });
        std::string expected = c.printed;
        for (auto at = expected.find('@'); at != std::string::npos; at = expected.find('@'))
            expected.replace(at, 1, dir.string());
        EXPECT_EQ(out, expected);
        EXPECT_EQ(zvrec_state(), c.state);
        EXPECT_EQ(zvpyxpl_fd_transmit_hook != nullptr, c.recorded != nullptr);
        zvscpl_stop_recording();
        for (const char* name : c.existing) EXPECT_EQ(file_bytes(path(name)), Bytes({'k', 'e', 'p', 't'})) << name;
        if (c.recorded != nullptr) {
            ZvrecReader reader;
            std::string error;
            ASSERT_TRUE(zvrec_read_open(reader, path(c.recorded).c_str(), error)) << error;
            EXPECT_EQ(reader.header.program, "Zorvan FS2020 Pyx Plugin 1.0.1");
            EXPECT_EQ(reader.header.wall_start, 1700000000);
            ASSERT_EQ(reader.header.rows.size(), FLIGHT_VARIABLE_COUNT);
            EXPECT_EQ(reader.header.rows[1].name, "ABSOLUTE TIME");
            EXPECT_EQ(reader.header.rows[1].units, "Seconds");
            EXPECT_EQ(reader.header.rows[1].offset, 256u);
            EXPECT_EQ(reader.header.events.size(), FLIGHT_EVENT_COUNT);
        }
    }
}

// The writer thread's disk: stalled until released, or failing every write.
std::atomic<bool> disk_released{false};

TEST_F(RecordingTest, AStallingOrFailingDiskEndsTheRecordingWithOneLineAndTheProgramGoesOn)
{
    struct Case {
        const char* what;
        int (*write)(void*, const void*, std::size_t);
        std::string line;  // after "Recording stopped after 2.5 s: "
    };
    const Case cases[] = {
        {"a disk that stalls", [](void* f, const void* d, std::size_t n) {
             while (!disk_released) std::this_thread::sleep_for(std::chrono::milliseconds(1));
             return zvrec_sink_gzip.write(f, d, n);
         },
         "the disk did not keep up (1024 KB waiting); @ holds the flight up to then"},
        {"a full disk", [](void*, const void*, std::size_t) { return ENOSPC; },
         "unable to write @: No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = path(std::string(c.what) + ".zvrec");
        disk_released = false;
        zvrec_sink.write = c.write;
        fake_us = 0;
        captured([&] { zvscpl_start_recording(file.c_str()); });
        Bytes block = data_message(1000.0);
        int blocks = 0;
        for (; blocks < 2000 && zvrec_state() == ZvrecState::On; ++blocks) {
            record_at(2500000, block);
            if (blocks == 100) std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the thread takes a part
        }
        for (int i = 0; i < 3000 && zvrec_state() == ZvrecState::On; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(zvrec_state(), ZvrecState::Failed);
        record_at(2600000, block);  // dropped, as everything after
        std::string out = captured([] {
            zvscpl_report_status(true);
            zvscpl_report_status(true);  // said once
        });
        std::string line = "\nRecording stopped after 2.5 s: " + c.line;
        line.replace(line.find('@'), 1, file);
        EXPECT_EQ(out, line);
        disk_released = true;
        EXPECT_EQ(captured([] { zvscpl_stop_recording(); }), "");
        EXPECT_EQ(std::string(zvscpl_recording_state()), "failed");
    }
    // What the stalled disk took before the queue filled is all in the file, then the end record.
    ZvrecReader reader;
    std::string error;
    ASSERT_TRUE(zvrec_read_open(reader, path("a disk that stalls.zvrec").c_str(), error)) << error;
    const std::uint64_t header = reader.offset;
    ZvrecRecord record;
    std::uint64_t blocks = 0;
    while (zvrec_read_next(reader, record) == ZvrecNext::Record) blocks += record.payload == data_message(1000.0);
    EXPECT_EQ(reader.done, ZvrecNext::End);
    EXPECT_EQ(reader.end_reason, ZVREC_END_QUEUE_FULL);
    EXPECT_EQ(blocks, reader.records - 1);
    EXPECT_GE(blocks, (ZVREC_QUEUE_BYTES - header) / (ZVREC_RECORD_HEAD + data_message(1000.0).size()));
}

// What a reader makes of a recording and of damaged copies of it: the data uncompressed, cut,
// overwritten, and files that are no recording of this format.
TEST_F(RecordingTest, ReadsBackWhatWasRecordedAndSaysWhereADamagedFileBreaksOff)
{
    const std::string good = path("good.zvrec");
    captured([&] { zvscpl_start_recording(good.c_str()); });
    record_session();
    fake_us = 500000;
    zvrec_mark(ZVREC_CONNECTED);
    zvscpl_stop_recording();
    const Bytes data = inflated(good);
    const Bytes compressed = file_bytes(good);
    ASSERT_GT(data.size(), 10000u);

    // Records of the data, from the header's end: offsets and lengths.
    std::vector<std::size_t> starts;
    for (std::size_t at = zvrec_u32(data.data() + 10); at + ZVREC_RECORD_HEAD <= data.size();
         at += ZVREC_RECORD_HEAD + zvrec_u32(data.data() + at + 9))
        starts.push_back(at);
    ASSERT_EQ(starts.size(), 16u);  // open, event, 10 blocks, command, quit, mark, end
    auto patched = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
        Bytes out = data;
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        return out;
    };
    auto cut = [](const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); };
    Bytes flipped = compressed;
    for (std::size_t i = compressed.size() - 100; i < compressed.size() - 90; ++i) flipped[i] ^= 0x5A;

    struct Case {
        const char* what;
        Bytes file;
        std::uint64_t records;  // read before the end or the break
        std::string broken;     // the reason at the break's end; empty: the end record was read
    };
    const Case cases[] = {
        {"as written", compressed, 16, ""},
        {"uncompressed", data, 16, ""},
        {"compressed, cut", cut(compressed, compressed.size() - 30), 0, "unexpected end of file"},
        {"compressed, overwritten", flipped, 0, "*"},
        {"without its end record", cut(data, starts[15]), 15, "the data ends without the end record"},
        {"cut inside a record", cut(data, starts[5] + 20), 5, "the data ends inside a record"},
        {"a record that claims 2 GB", patched(starts[3] + 9, {0xFF, 0xFF, 0xFF, 0x7F}), 3,
         "a record of 2147483647 bytes"},
        {"a record dated before its predecessor", patched(starts[4] + 1, {0, 0, 0, 0, 0, 0, 0, 0}), 4,
         "a record dated before the one before it"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_file(path("copy"), c.file);
        ZvrecReader reader;
        std::string error;
        ASSERT_TRUE(zvrec_read_open(reader, path("copy").c_str(), error)) << error;
        ZvrecRecord record;
        std::vector<std::uint8_t> kinds;
        while (zvrec_read_next(reader, record) == ZvrecNext::Record) kinds.push_back(record.kind);
        EXPECT_EQ(zvrec_read_next(reader, record), reader.done);  // the same answer again
        if (c.broken.empty()) {
            EXPECT_EQ(reader.done, ZvrecNext::End);
            EXPECT_EQ(reader.end_reason, ZVREC_END_STOPPED);
            EXPECT_EQ(kinds, std::vector<std::uint8_t>({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 3}));
            EXPECT_EQ(reader.last_time_us, 500000u);
            continue;
        }
        EXPECT_EQ(reader.done, ZvrecNext::Broken);
        if (c.records > 0) {
            EXPECT_EQ(reader.records, c.records);
        }
        EXPECT_LT(reader.records, 16u);
        EXPECT_EQ(reader.broken.rfind("breaks off at byte ", 0), 0u) << reader.broken;
        if (c.broken != "*") {
            EXPECT_EQ(reader.broken.substr(reader.broken.size() - c.broken.size()), c.broken) << reader.broken;
        }
    }

    // Files that are no recording of this format are refused at once.
    Bytes newer = data;
    newer[8] = 2;
    struct Refused {
        const char* what;
        Bytes file;
        const char* error;
    };
    const Refused refused[] = {
        {"a text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!', '!', '!', '\n'},
         "not a recording (it does not begin with ZVREC)"},
        {"a later format", newer, "a recording of format 2, which this program does not read (it reads 1)"},
        {"a header cut short", cut(data, 200), "a header cut short"},
        {"too short", cut(data, 5), "not a recording (too short)"},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.what);
        write_file(path("copy"), r.file);
        ZvrecReader reader;
        std::string error;
        EXPECT_FALSE(zvrec_read_open(reader, path("copy").c_str(), error));
        EXPECT_EQ(error, r.error);
    }
    ZvrecReader reader;
    std::string error;
    EXPECT_FALSE(zvrec_read_open(reader, path("missing").c_str(), error));
    EXPECT_EQ(error, "No such file or directory");
}

// ---- Replay

// What a client of the replay is handed: each message's kind, its time on the test's clock and,
// for a block, its "ABSOLUTE TIME".
struct Served {
    DWORD id;
    double at;
    double time;
};
std::vector<Served> served;

void CALLBACK collect(SIMCONNECT_RECV* m, DWORD size, void*)
{
    double t = 0.0;
    if (m->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA && size >= SIMOBJECT_DATA_HEADER_SIZE + sizeof(FlightData))
        std::memcpy(&t, reinterpret_cast<const std::uint8_t*>(m) + SIMOBJECT_DATA_HEADER_SIZE + 256, sizeof t);
    served.push_back({m->dwID, simtest::elapsed, t});
}

std::vector<DWORD> ids()
{
    std::vector<DWORD> out;
    for (const Served& s : served) out.push_back(s.id);
    return out;
}

// Opens a connection as the program does, registering its definition (or `altered` instead).
struct Row {
    const char* name;
    const char* units;
    SIMCONNECT_DATATYPE type;
};
HRESULT open_as_the_program(const std::vector<Row>& altered = {})
{
    HRESULT hr = SimConnect_Open(&hSimConnect, "test", nullptr, 0, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (altered.empty()) {
        zvpyxpl_fd_add_definitions();
    } else {
        for (const Row& row : altered) SimConnect_AddToDataDefinition(hSimConnect, 0, row.name, row.units, row.type);
    }
    return hr;
}

// Dispatches every 5 ms of the test's clock for `seconds`, or until the quit message.
void run_for(double seconds)
{
    for (double end = simtest::elapsed + seconds; simtest::elapsed < end; simtest::elapsed += 0.005)
        if (SimConnect_CallDispatch(hSimConnect, collect, nullptr) != S_OK) break;
}

TEST_F(RecordingTest, ReplayServesEachMessageAtItsTimeLoopsSessionsAndRefusesWhatDoesNotFit)
{
    const std::string one = path("one.zvrec");
    const std::string two = path("two.zvrec");
    captured([&] { zvscpl_start_recording(one.c_str()); });
    record_session();
    zvscpl_stop_recording();
    // Two sessions under -w: the second opens 2 s after the first began.
    captured([&] { zvscpl_start_recording(two.c_str()); });
    record_session();
    fake_us = 460000;
    zvrec_mark(ZVREC_DISCONNECTED);
    fake_us = 2000000;
    zvrec_mark(ZVREC_CONNECTED);
    record_session(2000000, 2000.0);
    zvscpl_stop_recording();
    const Bytes whole = file_bytes(one);
    write_file(path("cut.zvrec"), Bytes(whole.begin(), whole.end() - 100));
    zvsim_clock = simtest::test_clock;
    const DWORD OPEN = SIMCONNECT_RECV_ID_OPEN, EVENT = SIMCONNECT_RECV_ID_EVENT, QUIT = SIMCONNECT_RECV_ID_QUIT,
                DATA = SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
    const std::vector<DWORD> session = {OPEN, EVENT, DATA, DATA, DATA, DATA, DATA, DATA, DATA, DATA, DATA, DATA, QUIT};

    struct Case {
        const char* what;
        std::function<void()> run;
        std::string errors;  // with "@" for the folder
    };
    const Case cases[] = {
        {"a session, at its times; a command changes nothing",
         [&] {
             ASSERT_EQ(zvsim_replay_start(one.c_str(), false), true);
             ASSERT_EQ(open_as_the_program(), S_OK);
             run_for(0.2);
             EXPECT_EQ(SimConnect_TransmitClientEvent(hSimConnect, 0, EVT_HEADING_BUG_SET, 90, 1, 16), S_OK);
             DWORD send_id = 0;  // numbered as the built-in simulator numbers: the open, 83 rows, 56 events, this
             EXPECT_EQ(SimConnect_GetLastSentPacketID(hSimConnect, &send_id), S_OK);
             EXPECT_EQ(send_id, 1u + FLIGHT_VARIABLE_COUNT + FLIGHT_EVENT_COUNT + 1u);
             run_for(1.0);
             EXPECT_EQ(ids(), session);
             for (int k = 0; k < 10; ++k) {
                 EXPECT_NEAR(served[2 + k].at - served[0].at, 0.05 + k / 36.0, 0.0051);
                 EXPECT_EQ(served[2 + k].time, 1000.0 + k / 36.0);
             }
             EXPECT_NEAR(served.back().at - served[0].at, 0.45, 0.0051);
             SimConnect_Close(hSimConnect);
             EXPECT_EQ(open_as_the_program(), E_FAIL);  // the recording is over
         },
         ""},
        {"a definition that differs",
         [&] {
             zvsim_replay_start(one.c_str(), false);
             ASSERT_EQ(open_as_the_program({{"TITLE", nullptr, SIMCONNECT_DATATYPE_STRING256},
                                            {"ABSOLUTE TIME", "Minutes", SIMCONNECT_DATATYPE_FLOAT64}}),
                       S_OK);
             run_for(1.0);
             EXPECT_EQ(ids(), std::vector<DWORD>{QUIT});
             SimConnect_Close(hSimConnect);
             EXPECT_EQ(open_as_the_program(), E_FAIL);
         },
         "built-in simulator: @/one.zvrec does not fit this program: row 2 is \"ABSOLUTE TIME\" in \"Seconds\" as "
         "FLOAT64 in the recording, \"ABSOLUTE TIME\" in \"Minutes\" as FLOAT64 in the program\n"},
        {"a truncated file",
         [&] {
             zvsim_replay_start(path("cut.zvrec").c_str(), false);
             ASSERT_EQ(open_as_the_program(), S_OK);
             run_for(1.0);
             ASSERT_GE(served.size(), 3u);
             EXPECT_LT(served.size(), session.size());
             EXPECT_EQ(served.back().id, QUIT);
         },
         "*breaks off at byte "},
        {"a loop: the clock goes on, the session never quits",
         [&] {
             zvsim_replay_start(one.c_str(), true);
             ASSERT_EQ(open_as_the_program(), S_OK);
             run_for(3.0);
             int blocks = 0;
             double last = 0.0;
             for (const Served& s : served) {
                 if (s.id != DATA) continue;
                 EXPECT_NEAR(s.time - last, blocks == 0 ? 1000.0 : 1 / 36.0, 1e-6) << blocks;
                 last = s.time;
                 ++blocks;
             }
             EXPECT_GE(blocks, 50);  // a pass of 10 blocks about every 0.48 s
             const std::vector<DWORD> got = ids();
             EXPECT_EQ(std::count(got.begin(), got.end(), OPEN), 1);
             EXPECT_EQ(std::count(got.begin(), got.end(), QUIT), 0);
         },
         ""},
        {"two sessions: the second opens when its time has come",
         [&] {
             zvsim_replay_start(two.c_str(), false);
             ASSERT_EQ(open_as_the_program(), S_OK);
             run_for(1.0);
             EXPECT_EQ(ids(), session);
             SimConnect_Close(hSimConnect);
             EXPECT_EQ(open_as_the_program(), E_FAIL);  // 0.45 s after the first open
             simtest::elapsed += 1.6;
             ASSERT_EQ(open_as_the_program(), S_OK);
             served.clear();
             run_for(1.0);
             EXPECT_EQ(ids(), session);
             EXPECT_EQ(served[2].time, 2000.0);
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        served.clear();
        testing::internal::CaptureStderr();
        c.run();
        SimConnect_Close(hSimConnect);
        std::string errors = testing::internal::GetCapturedStderr();
        std::string expected = c.errors;
        if (auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, dir.string());
        if (!expected.empty() && expected[0] == '*') {
            EXPECT_NE(errors.find(expected.substr(1)), std::string::npos) << errors;
        } else {
            EXPECT_EQ(errors, expected);
        }
    }
    zvsim_replay_start(nullptr, false);
}

}  // namespace
