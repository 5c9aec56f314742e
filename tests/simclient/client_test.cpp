// The network client over a faked connection: the program's requests byte for byte as
// node-simconnect sends them, send ids, the queue that never blocks, messages however the stream
// splits them, the dispatch's limits, the faults that end a connection, and the connection's
// own waits.
#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simwire/requests.h"
#include "tests/simclient/fake_server.h"
#include "tests/support/program_calls.h"
#include "tests/support/simconnect_double.h"

namespace {

using fake::Bytes;
using fake::operator+;

HANDLE open_client()
{
    fake::install();
    fake::choose_server();
    HANDLE h = nullptr;
    EXPECT_EQ(zvcli_backend.open(&h, "test", nullptr, 0, nullptr, 0), S_OK);
    return h;
}

// The requests in the bytes written, each whole.
std::vector<Bytes> requests_in(const Bytes& stream)
{
    std::vector<Bytes> out;
    ZvswReader reader(ZVSW_REQUEST_HEADER);
    zvsw_reader_feed(reader, stream.data(), stream.size());
    const std::uint8_t* m = nullptr;
    std::uint32_t size = 0;
    while (zvsw_reader_next(reader, m, size) == ZVSW_NEXT_MESSAGE) out.emplace_back(m, m + size);
    EXPECT_EQ(zvsw_reader_pending(reader), 0u) << "a request left incomplete";
    return out;
}

std::uint32_t send_id_of(const Bytes& request) { return zvsw_get_u32(request.data() + 12); }

std::vector<Bytes> captured_requests()
{
    std::vector<Bytes> out;
    std::ifstream in(CAPTURED_REQUESTS);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        Bytes b;
        for (std::size_t i = 0; i + 1 < line.size(); i += 2)
            b.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
        out.push_back(b);
    }
    return out;
}

// The program's calls, recorded by the double, made again through the client.
void make_program_calls(HANDLE& h)
{
    scd::run_program_calls();
    std::size_t open = 0, definition = 0, mapping = 0, subscription = 0, request = 0, transmit = 0;
    for (const std::string& call : scd::calls) {
        if (call == "Open") {
            fake::install();
            fake::choose_server();
            const scd::OpenCall& c = scd::opens.at(open++);
            ASSERT_EQ(zvcli_backend.open(&h, c.name.c_str(), nullptr, 0, nullptr, c.config_index), S_OK);
        } else if (call == "AddToDataDefinition") {
            const scd::DefinitionCall& c = scd::definitions.at(definition++);
            zvcli_backend.define(h, c.define_id, c.datum_name.c_str(), c.units_null ? nullptr : c.units.c_str(), c.type,
                                 c.epsilon, c.datum_id);
        } else if (call == "MapEvent") {
            const scd::MapCall& c = scd::mappings.at(mapping++);
            zvcli_backend.map_event(h, c.event_id, c.event_name.c_str());
        } else if (call == "Subscribe") {
            const scd::SubscribeCall& c = scd::subscriptions.at(subscription++);
            zvcli_backend.subscribe(h, c.event_id, c.event_name.c_str());
        } else if (call == "RequestData") {
            const scd::RequestCall& c = scd::requests.at(request++);
            zvcli_backend.request_data(h, c.request_id, c.define_id, c.object_id, c.period,
                                       static_cast<SIMCONNECT_DATA_REQUEST_FLAG>(c.flags), c.origin, c.interval, c.limit);
        } else if (call == "Transmit") {
            const scd::TransmitCall& c = scd::transmits.at(transmit++);
            zvcli_backend.transmit(h, c.object_id, c.event_id, c.data, c.group_id,
                                   static_cast<SIMCONNECT_EVENT_FLAG>(c.flags));
        }
    }
    ASSERT_EQ(open, 1u);
    ASSERT_GT(transmit, 0u);
}

TEST(NetworkClient, SendsTheProgramsRequestsByteForByteAsNodeSimconnectDoesWithItsOwnSendIds)
{
    HANDLE h = nullptr;
    make_program_calls(h);
    std::vector<Bytes> ours = requests_in(fake::server.written);
    std::vector<Bytes> theirs = captured_requests();
    ASSERT_EQ(ours.size(), theirs.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        // The send ids: the Open is 1 here and 0 there, each later request one more.
        EXPECT_EQ(send_id_of(ours[i]), i + 1) << "request " << i;
        EXPECT_EQ(send_id_of(theirs[i]), i) << "request " << i;
        Bytes a = ours[i], b = theirs[i];
        std::fill(a.begin() + 12, a.begin() + 16, 0);
        std::fill(b.begin() + 12, b.begin() + 16, 0);
        ASSERT_EQ(a.size(), b.size()) << "request " << i;
        auto differ = std::mismatch(a.begin(), a.end(), b.begin());
        EXPECT_TRUE(differ.first == a.end()) << "request " << i << " (type 0x" << std::hex << zvsw_get_u32(a.data() + 8)
                                             << ") differs at byte " << std::dec << (differ.first - a.begin());
    }
    DWORD last = 0;
    EXPECT_EQ(zvcli_backend.last_sent(h, &last), S_OK);
    EXPECT_EQ(last, ours.size());
    EXPECT_EQ(fake::server.nodelay, 1);
    EXPECT_EQ(fake::server.keepalive[0], 5);
    EXPECT_EQ(fake::server.keepalive[1], 2);
    EXPECT_EQ(fake::server.keepalive[2], 5);
    EXPECT_EQ(zvcli_backend.close(h), S_OK);
    EXPECT_EQ(fake::server.closes, 1);
    EXPECT_EQ(plat_wait_sim_socket, PLAT_INVALID_SOCKET);
}

// A server that does not read: the registration and the data requests wait whatever their
// size; transmissions are dropped once 64 KiB of them wait, each taking its send id still.
TEST(NetworkClient, DropsOnlyTransmissionsBeyond64KiBWaitingAndNumbersThemStill)
{
    HANDLE h = open_client();
    fake::server.room = 0;
    for (DWORD i = 0; i < 200; ++i)  // 200 definitions of 544 bytes: 108,800 bytes waiting
        ASSERT_EQ(zvcli_backend.define(h, 0, "PLANE LATITUDE", "degrees", SIMCONNECT_DATATYPE_FLOAT64, 0.0f, i), S_OK);
    EXPECT_TRUE(plat_wait_sim_socket_writing);
    const unsigned fit = ZVCLI_TRANSMIT_QUEUE_BYTES / 36;
    for (unsigned i = 0; i < fit; ++i)
        ASSERT_EQ(zvcli_backend.transmit(h, 0, i, 0, 1, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY), S_OK) << i;
    EXPECT_EQ(zvcli_backend.transmit(h, 0, 9999, 0, 1, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY), E_FAIL);
    EXPECT_EQ(plat_sim_link_info.unsent, 1u);
    DWORD dropped_id = 0;
    zvcli_backend.last_sent(h, &dropped_id);
    EXPECT_EQ(dropped_id, 1u + 200 + fit + 1);
    EXPECT_EQ(zvcli_backend.request_data(h, 1, 0, 0, SIMCONNECT_PERIOD_VISUAL_FRAME, 0, 0, 0, 0), S_OK);

    // The server reads again: everything queued goes out in order, the dropped one's id missing.
    fake::server.room = SIZE_MAX;
    fake::Handed handed;
    EXPECT_EQ(zvcli_backend.dispatch(h, fake::keep, &handed), S_OK);
    EXPECT_FALSE(plat_wait_sim_socket_writing);
    std::vector<Bytes> sent = requests_in(fake::server.written);
    ASSERT_EQ(sent.size(), 1u + 200 + fit + 1);
    for (std::size_t i = 0; i + 1 < sent.size(); ++i) EXPECT_EQ(send_id_of(sent[i]), i + 1);
    EXPECT_EQ(send_id_of(sent.back()), dropped_id + 1);
    EXPECT_EQ(zvsw_get_u32(sent.back().data() + 8), 0xF0000000u | ZVSW_REQUEST_DATA_ON_SIM_OBJECT);
    // With the queue drained, a transmission goes again.
    EXPECT_EQ(zvcli_backend.transmit(h, 0, 1, 0, 1, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY), S_OK);
    EXPECT_EQ(plat_sim_link_info.unsent, 1u);
}

// The messages handed over, whole and aligned, wherever the stream breaks between reads.
TEST(NetworkClient, HandsOverEveryMessageWholeAndAlignedWhereverTheStreamSplits)
{
    const std::vector<Bytes> messages = {fake::open_message(), fake::event_message(7, 0xFFFFFFFF),
                                         fake::data_message(1, 21, 0xA5), fake::exception_message(12),
                                         fake::data_message(1, 8, 0x5A)};
    Bytes stream;
    for (const Bytes& m : messages) stream = stream + m;
    auto check = [&](const std::vector<std::size_t>& cuts, const std::string& what) {
        HANDLE h = open_client();
        fake::Handed handed;
        std::size_t from = 0;
        for (std::size_t cut : cuts) {
            fake::reads(Bytes(stream.begin() + static_cast<long>(from), stream.begin() + static_cast<long>(cut)));
            fake::nothing_yet();
            from = cut;
        }
        fake::reads(Bytes(stream.begin() + static_cast<long>(from), stream.end()));
        for (std::size_t i = 0; i <= cuts.size(); ++i) ASSERT_EQ(zvcli_backend.dispatch(h, fake::keep, &handed), S_OK);
        EXPECT_EQ(handed.messages, messages) << what;
        EXPECT_TRUE(handed.all_aligned) << what;
        EXPECT_TRUE(handed.sizes_agree) << what;
        zvcli_backend.close(h);
    };
    for (std::size_t cut = 1; cut < stream.size(); ++cut) check({cut}, "split at byte " + std::to_string(cut));
    std::vector<std::size_t> every;
    for (std::size_t cut = 1; cut < stream.size(); ++cut) every.push_back(cut);
    check(every, "a byte at a time");
}

// One dispatch hands over at most 64 messages or 256 KiB; the rest comes with the next, which
// the client asks for at once.
TEST(NetworkClient, OneDispatchHandsOverAtMost64MessagesOr256KiB)
{
    struct Row {
        const char* name;
        Bytes message;
        unsigned count;
        std::vector<std::size_t> per_dispatch;
    };
    const Row rows[] = {
        {"events", fake::event_message(1, 2), 150, {64, 64, 22}},
        {"100 KiB blocks", fake::data_message(1, 100 * 1024, 1), 5, {3, 2}},
    };
    for (const Row& row : rows) {
        HANDLE h = open_client();
        Bytes stream;
        for (unsigned i = 0; i < row.count; ++i) stream = stream + row.message;
        fake::reads(stream);
        for (std::size_t n : row.per_dispatch) {
            fake::Handed handed;
            ASSERT_EQ(zvcli_backend.dispatch(h, fake::keep, &handed), S_OK);
            EXPECT_EQ(handed.messages.size(), n) << row.name;
            if (n != row.per_dispatch.back()) {
                EXPECT_LE(plat_wait_sim_due_ms(), fake::server.now_ms) << row.name;
            }
        }
        zvcli_backend.close(h);
    }
}

// Each way a connection ends: the messages complete before the fault, then a QUIT of the
// client's own; one line; the socket closed; nothing more handed over or sent.
TEST(NetworkClient, EndsABrokenConnectionWithTheMessagesBeforeItThenAQuitAndOneLine)
{
    struct Row {
        const char* name;
        std::function<void()> script;
        std::string line;
        std::vector<DWORD> ids;
    };
    const Bytes two = fake::open_message() + fake::event_message(3, 4);
    const Bytes third = fake::event_message(5, 6);
    const Bytes part_of_third(third.begin(), third.begin() + 13);
    const Row rows[] = {
        {"closed", [&] { fake::reads(two), fake::closed(); }, "\nFlight Simulator closed the connection",
         {SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_EVENT, SIMCONNECT_RECV_ID_QUIT}},
        {"reset", [&] { fake::reads(two), fake::reset(); }, "\nFlight Simulator reset the connection",
         {SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_EVENT, SIMCONNECT_RECV_ID_QUIT}},
        {"closed within a message",
         [&] { fake::reads(two + part_of_third), fake::closed(); },
         "\nFlight Simulator closed the connection",
         {SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_EVENT, SIMCONNECT_RECV_ID_QUIT}},
        {"size 8, told by its size field alone", [&] { fake::reads(two + fake::size_only(8)); },
         "\nFlight Simulator sent a malformed message (size 8): closing the connection",
         {SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_EVENT, SIMCONNECT_RECV_ID_QUIT}},
        {"size 0", [&] { fake::reads(fake::size_only(0) + two); },
         "\nFlight Simulator sent a malformed message (size 0): closing the connection", {SIMCONNECT_RECV_ID_QUIT}},
        {"above 1 MiB", [&] { fake::reads(two + fake::size_only((1u << 20) + 1)); },
         "\nFlight Simulator sent a malformed message (size 1048577): closing the connection",
         {SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_EVENT, SIMCONNECT_RECV_ID_QUIT}},
        {"a write refused", [&] { fake::reads(two), fake::server.write_result = -1, fake::server.error = EPIPE; },
         "\nFlight Simulator closed the connection", {SIMCONNECT_RECV_ID_QUIT}},
        {"no answer to the open within 5 s", [&] { fake::server.now_ms += 5000; },
         "\nFlight Simulator did not answer the open within 5 s: closing the connection", {SIMCONNECT_RECV_ID_QUIT}},
    };
    for (const Row& row : rows) {
        HANDLE h = open_client();
        testing::internal::CaptureStdout();
        row.script();
        if (fake::server.write_result < 0) {  // the fault is found by the next request
            EXPECT_EQ(zvcli_backend.subscribe(h, 1, "SimStart"), E_FAIL) << row.name;
        }
        fake::Handed handed;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(zvcli_backend.dispatch(h, fake::keep, &handed), S_OK) << row.name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), row.line) << row.name;
        EXPECT_EQ(handed.ids, row.ids) << row.name;
        EXPECT_EQ(handed.messages.back(), fake::quit_message()) << row.name;
        EXPECT_EQ(fake::server.closes, 1) << row.name;
        EXPECT_EQ(plat_wait_sim_socket, PLAT_INVALID_SOCKET) << row.name;
        EXPECT_EQ(zvcli_backend.transmit(h, 0, 1, 0, 1, SIMCONNECT_EVENT_FLAG_DEFAULT), E_FAIL) << row.name;
        EXPECT_EQ(zvcli_backend.close(h), S_OK) << row.name;
        EXPECT_EQ(fake::server.closes, 1) << row.name;
    }
}

// The simulator's own QUIT, then its close: handed over once, no line, nothing read after.
TEST(NetworkClient, HandsOverTheSimulatorsQuitAloneAndReadsNothingAfterIt)
{
    HANDLE h = open_client();
    fake::reads(fake::open_message() + fake::quit_message() + fake::event_message(1, 1));
    fake::closed();
    fake::Handed handed;
    testing::internal::CaptureStdout();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(zvcli_backend.dispatch(h, fake::keep, &handed), S_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(handed.ids, (std::vector<DWORD>{SIMCONNECT_RECV_ID_OPEN, SIMCONNECT_RECV_ID_QUIT}));
    EXPECT_EQ(zvcli_backend.close(h), S_OK);
}

// The TCP connection's waits: 1 s without -w, 100 ms with it (the connection under way kept for
// the next open), a refusal at once, and a stop ending the wait at once.
TEST(NetworkClient, WaitsForTheConnectionAsLongAsTheProgramMay)
{
    struct Row {
        const char* name;
        bool retrying;
        int connect;
        bool stop;
        long long waited_ms;
        bool kept;
    };
    const Row rows[] = {
        {"under way, without -w", false, 1, false, 1000, false},
        {"under way, with -w", true, 1, false, 100, true},
        {"refused", false, -1, false, 0, false},
        {"a stop", true, 1, true, 0, false},
    };
    for (const Row& row : rows) {
        fake::install();
        fake::choose_server();
        plat_sim_link_info.retrying = row.retrying;
        fake::server.connect = row.connect;
        fake::server.stop_in_wait = row.stop;
        HANDLE h = nullptr;
        long long before = fake::server.now_ms;
        testing::internal::CaptureStdout();
        EXPECT_EQ(zvcli_backend.open(&h, "test", nullptr, 0, nullptr, 0), E_FAIL) << row.name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "\nConnecting to Flight Simulator at 127.0.0.1:5000 (SimConnect.cfg, section 0) ...")
            << row.name;
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(fake::server.now_ms - before, row.waited_ms) << row.name;
        EXPECT_EQ(zvcli_state.connecting, row.kept) << row.name;
        EXPECT_EQ(fake::server.closes, row.kept ? 0 : 1) << row.name;
        if (!row.kept) continue;
        // The next attempt takes the connection made meanwhile, without a new socket or line.
        fake::server.connect_later = 0;
        testing::internal::CaptureStdout();
        EXPECT_EQ(zvcli_backend.open(&h, "test", nullptr, 0, nullptr, 0), S_OK) << row.name;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << row.name;
        EXPECT_EQ(fake::server.sockets, 1) << row.name;
        EXPECT_EQ(requests_in(fake::server.written).size(), 1u) << row.name;
        EXPECT_EQ(zvcli_backend.close(h), S_OK);
    }
}

}  // namespace
