// The codec of the simulator's own protocol: every request byte for byte as node-simconnect sends
// it and decoded back, the refusals a server tells apart, the records a server sends as a
// client reads them, the stream split anywhere, its bounds, and the queue of bytes to send.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simwire/records.h"
#include "simwire/requests.h"
#include "simwire/stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes at an offset: hex digits (spaces between words for reading), or text.
struct Span {
    std::size_t at;
    Bytes bytes;
};
Span hex(std::size_t at, std::string_view digits)
{
    Span s{at, {}};
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (digits[i] == ' ') continue;
        s.bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(digits.substr(i++, 2)), nullptr, 16)));
    }
    return s;
}
Span text(std::size_t at, std::string_view t) { return {at, Bytes(t.begin(), t.end())}; }
// `size` bytes, zero but for the spans.
Bytes expect(std::size_t size, std::vector<Span> spans)
{
    Bytes b(size, 0);
    for (const Span& s : spans) std::copy(s.bytes.begin(), s.bytes.end(), b.begin() + static_cast<long>(s.at));
    return b;
}

struct RequestRow {
    const char* name;
    std::function<Bytes()> encode;
    std::function<Bytes(const Bytes&)> decode_and_encode;  // empty when the decoder refuses
    Bytes expected;
};

template <typename Request>
RequestRow row(const char* name, std::uint32_t protocol, std::uint32_t send_id, Request r, Bytes expected)
{
    auto encode = [protocol, send_id](const Request& q) {
        Bytes b(ZVSW_MAX_REQUEST_SIZE + 1, 0xEE);
        b.resize(zvsw_encode_request(b.data(), protocol, send_id, q));
        return b;
    };
    return {name, [=] { return encode(r); },
            [=](const Bytes& in) {
                Request back;
                return zvsw_decode_request(in.data(), in.size(), back) ? encode(back) : Bytes{};
            },
            std::move(expected)};
}

const std::string C255(255, 'C'), B256(256, 'B'), A300(300, 'A');

// As node-simconnect 4.2.0 sends them: captured once over TCP from open(name, protocol) and the
// calls below, with the send ids it gave them (its Open is 0). The names of 256 and 300 bytes
// are as this codec cuts them, where node-simconnect sends them whole (see the refusals).
std::vector<RequestRow> request_rows()
{
    const char* title = "Zorvan FS2020 Pyx Plugin";
    return {
        row("Open, KittyHawk", 5, 0, zvsw_open_for(5, title),
            expect(296, {hex(0, "28010000 05000000 010000f0 00000000"), text(16, title),
                         hex(276, "00484b00 0b000000 00000000 bbf40000 03000000")})),
        row("Open, FSX SP2", 4, 0, zvsw_open_for(4, title),
            expect(296, {hex(0, "28010000 04000000 010000f0 00000000"), text(16, title),
                         hex(276, "00585346 0a000000 00000000 4bef0000 00000000")})),
        row("Open, SunRise", 6, 0, zvsw_open_for(6, title),
            expect(296, {hex(0, "28010000 06000000 010000f0 00000000"), text(16, title),
                         hex(276, "00525300 0c000000 02000000 3e4e0400 e7030000")})),
        row("MapClientEventToSimEvent", 5, 1, ZvswMapClientEventToSimEvent{14, "HEADING_BUG_SET"},
            expect(276, {hex(0, "14010000 05000000 040000f0 01000000 0e000000"), text(20, "HEADING_BUG_SET")})),
        row("TransmitClientEvent", 5, 2, ZvswTransmitClientEvent{0, 14, 270, 1, 16},
            expect(36, {hex(0, "24000000 05000000 050000f0 02000000 00000000 0e000000 0e010000 01000000 10000000")})),
        row("TransmitClientEvent, every bit", 5, 3,
            ZvswTransmitClientEvent{0xFFFFFFFF, 0x12345678, 0xFFFFFC18, 1900000000, 0},
            expect(36, {hex(0, "24000000 05000000 050000f0 03000000 ffffffff 78563412 18fcffff 00b33f71 00000000")})),
        row("AddToDataDefinition", 5, 4, ZvswAddToDataDefinition{0, "PLANE ALTITUDE", "Feet", 4, 0, 0xFFFFFFFF},
            expect(544, {hex(0, "20020000 05000000 0c0000f0 04000000"), text(20, "PLANE ALTITUDE"), text(276, "Feet"),
                         hex(532, "04000000 00000000 ffffffff")})),
        row("AddToDataDefinition, null units", 5, 5,
            ZvswAddToDataDefinition{0, "TITLE", zvsw_text(nullptr), 9, 0, 0xFFFFFFFF},
            expect(544, {hex(0, "20020000 05000000 0c0000f0 05000000"), text(20, "TITLE"),
                         hex(532, "09000000 00000000 ffffffff")})),
        row("AddToDataDefinition, epsilon and datum id", 5, 6,
            ZvswAddToDataDefinition{3, "AIRSPEED INDICATED", "Knots", 3, 0.5f, 7},
            expect(544, {hex(0, "20020000 05000000 0c0000f0 06000000 03000000"), text(20, "AIRSPEED INDICATED"),
                         text(276, "Knots"), hex(532, "03000000 0000003f 07000000")})),
        row("RequestDataOnSimObject", 5, 7, ZvswRequestDataOnSimObject{0, 0, 0, 2, 0, 0, 0, 0},
            expect(48, {hex(0, "30000000 05000000 0e0000f0 07000000 00000000 00000000 00000000 02000000")})),
        row("RequestDataOnSimObject, every field", 5, 8, ZvswRequestDataOnSimObject{1, 2, 3, 4, 1, 5, 6, 7},
            expect(48, {hex(0, "30000000 05000000 0e0000f0 08000000 01000000 02000000 03000000 04000000 "
                               "01000000 05000000 06000000 07000000")})),
        row("SubscribeToSystemEvent", 5, 9, ZvswSubscribeToSystemEvent{0, "SimStart"},
            expect(276, {hex(0, "14010000 05000000 170000f0 09000000"), text(20, "SimStart")})),
        row("name of 255 bytes", 5, 11, ZvswMapClientEventToSimEvent{2, C255},
            expect(276, {hex(0, "14010000 05000000 040000f0 0b000000 02000000"), text(20, C255)})),
        row("name of 256 bytes, cut", 5, 12, ZvswMapClientEventToSimEvent{3, B256},
            expect(276, {hex(0, "14010000 05000000 040000f0 0c000000 03000000"), text(20, B256.substr(0, 255))})),
        row("name of 300 bytes, cut", 5, 13, ZvswMapClientEventToSimEvent{4, A300},
            expect(276, {hex(0, "14010000 05000000 040000f0 0d000000 04000000"), text(20, A300.substr(0, 255))})),
        row("null name", 5, 14, ZvswSubscribeToSystemEvent{5, zvsw_text(nullptr)},
            expect(276, {hex(0, "14010000 05000000 170000f0 0e000000 05000000")})),
    };
}

TEST(SimwireRequests, AsNodeSimconnectSendsThemAndDecodedBack)
{
    for (const RequestRow& r : request_rows()) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.encode(), r.expected);
        EXPECT_EQ(r.decode_and_encode(r.expected), r.expected);
    }
}

TEST(SimwireRequests, RefusalsAServerTellsApart)
{
    auto request = [](std::uint32_t size, std::uint32_t type_word, std::size_t length) {
        Bytes b(length, 0x42);
        zvsw_put_u32(b.data(), size);
        zvsw_put_u32(b.data() + 4, 5);
        zvsw_put_u32(b.data() + 8, type_word);
        zvsw_put_u32(b.data() + 12, 77);
        return b;
    };
    // As node-simconnect 4.2.0 sends a name of 256 bytes (no NUL) and one of 300 (whole).
    Bytes b256 = expect(276, {hex(0, "14010000 05000000 040000f0 0c000000 03000000"), text(20, B256)});
    Bytes a300 = expect(320, {hex(0, "40010000 05000000 040000f0 0d000000 04000000"), text(20, A300)});
    struct Case {
        const char* name;
        Bytes bytes;
        ZvswRequestCheck check;
        bool map_decodes;
    } cases[] = {
        {"a name of 256 bytes without its NUL", b256, ZVSW_REQUEST_OK, true},
        {"a name of 300 bytes: 320 bytes", a300, ZVSW_REQUEST_SIZE_MISMATCH, false},
        {"one byte short", request(275, 0xF0000004, 275), ZVSW_REQUEST_SIZE_MISMATCH, false},
        {"a transmission of 40 bytes", request(40, 0xF0000005, 40), ZVSW_REQUEST_SIZE_MISMATCH, false},
        {"a transmission, to the map's decoder", request(36, 0xF0000005, 36), ZVSW_REQUEST_OK, false},
        {"type without its mark", request(276, 0x00000004, 276), ZVSW_REQUEST_UNKNOWN_TYPE, false},
        {"type 2, not used", request(16, 0xF0000002, 16), ZVSW_REQUEST_UNKNOWN_TYPE, false},
        {"size field beyond the bytes", request(276, 0xF0000004, 200), ZVSW_REQUEST_OK, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZvswRequestHeader h;
        ASSERT_TRUE(zvsw_decode_request_header(c.bytes.data(), c.bytes.size(), h));
        EXPECT_EQ(zvsw_request_check(h), c.check);
        ZvswMapClientEventToSimEvent map{99, "untouched"};
        EXPECT_EQ(zvsw_decode_request(c.bytes.data(), c.bytes.size(), map), c.map_decodes);
        if (!c.map_decodes) {
            EXPECT_EQ(map.event_name, "untouched");
        }
    }
    ZvswMapClientEventToSimEvent map;
    ASSERT_TRUE(zvsw_decode_request(b256.data(), b256.size(), map));
    EXPECT_EQ(map.event_name, B256);
    ZvswRequestHeader h;
    EXPECT_FALSE(zvsw_decode_request_header(b256.data(), 15, h));
    ASSERT_TRUE(zvsw_decode_request_header(a300.data(), a300.size(), h));
    EXPECT_EQ(h.send_id, 13u);
}

struct RecordRow {
    const char* name;
    Bytes bytes;
    Bytes expected;
    DWORD field;  // a field past the header, read through its SIMCONNECT_RECV_* struct
    DWORD expected_field;
};

template <typename... Args>
Bytes record(const Args&... args)
{
    Bytes b(2048, 0xEE);
    b.resize(zvsw_encode_record(b.data(), 5, args...));
    return b;
}

// A field of the message as the client hands it to the dispatch procedure.
template <typename Record>
DWORD read(const Bytes& b, DWORD Record::*field)
{
    ZvswAligned copy;
    return static_cast<const Record*>(zvsw_aligned_copy(copy, b.data(), b.size()))->*field;
}

std::vector<RecordRow> record_rows()
{
    const SIMCONNECT_RECV_OPEN open{{}, "zvsim", 11, 0, 282174, 999, 11, 0, 62651, 3, 0, 0};
    const SIMCONNECT_RECV_SIMOBJECT_DATA data{{}, 1, 0, 0, 0, 1, 1, 1, 0};
    const double altitude = 35000.0;
    Bytes o = record(open), q = record(SIMCONNECT_RECV_QUIT{}), e = record(SIMCONNECT_RECV_EVENT{{}, 0xFFFFFFFF, 3, 270}),
          x = record(SIMCONNECT_RECV_EXCEPTION{{}, 7, 46, 2}), d = record(data, &altitude, 8u),
          d0 = record(data, nullptr, 0u);
    return {
        {"OPEN", o,
         expect(308, {hex(0, "34010000 05000000 02000000"), text(12, "zvsim"),
                      hex(268, "0b000000 00000000 3e4e0400 e7030000 0b000000 00000000 bbf40000 03000000")}),
         read(o, &SIMCONNECT_RECV_OPEN::dwSimConnectBuildMajor), 62651},
        {"QUIT", q, expect(12, {hex(0, "0c000000 05000000 03000000")}), read(q, &SIMCONNECT_RECV::dwID), 3},
        {"EVENT", e, expect(24, {hex(0, "18000000 05000000 04000000 ffffffff 03000000 0e010000")}),
         read(e, &SIMCONNECT_RECV_EVENT::dwData), 270},
        {"EXCEPTION", x, expect(24, {hex(0, "18000000 05000000 01000000 07000000 2e000000 02000000")}),
         read(x, &SIMCONNECT_RECV_EXCEPTION::dwSendID), 46},
        {"SIMOBJECT_DATA", d,
         expect(48, {hex(0, "30000000 05000000 08000000 01000000 00000000 00000000 00000000 01000000 "
                            "01000000 01000000 00000000 0017e140")}),
         read(d, &SIMCONNECT_RECV_SIMOBJECT_DATA::dwDefineCount), 1},
        {"SIMOBJECT_DATA without data", d0,
         expect(40, {hex(0, "28000000 05000000 08000000 01000000 00000000 00000000 00000000 01000000 "
                            "01000000 01000000")}),
         read(d0, &SIMCONNECT_RECV::dwSize), SIMOBJECT_DATA_HEADER_SIZE},
    };
}

TEST(SimwireRecords, ByteForByteAndAsTheClientHandsThemOver)
{
    for (const RecordRow& r : record_rows()) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.bytes, r.expected);
        EXPECT_EQ(r.field, r.expected_field);
    }
    // The copy: aligned for any record, so the data block at dwData (as the program reads its
    // record in place) sits on an 8-byte boundary.
    ZvswAligned copy;
    Bytes d = record_rows()[4].bytes;
    auto* m = reinterpret_cast<const std::uint8_t*>(zvsw_aligned_copy(copy, d.data(), d.size()));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(Bytes(m, m + d.size()), d);
    double altitude;
    std::memcpy(&altitude, m + SIMOBJECT_DATA_HEADER_SIZE, sizeof altitude);
    EXPECT_EQ(altitude, 35000.0);
    Bytes big(ZVSW_MAX_DATA + 1);
    EXPECT_EQ(zvsw_encode_record(big.data(), 5, SIMCONNECT_RECV_SIMOBJECT_DATA{}, big.data(), ZVSW_MAX_DATA + 1), 0u);
}

// Every message of a stream read back whole, the stream cut in two reads at every byte (the
// first and last cut: all the messages in one read).
TEST(SimwireFraming, SplitAtEveryByte)
{
    std::vector<Bytes> requests, records;
    for (const RequestRow& r : request_rows()) requests.push_back(r.expected);
    for (const RecordRow& r : record_rows()) records.push_back(r.bytes);
    for (const auto* messages : {&requests, &records}) {
        std::uint32_t header = messages == &requests ? ZVSW_REQUEST_HEADER : ZVSW_MESSAGE_HEADER;
        Bytes stream;
        for (const Bytes& m : *messages) stream.insert(stream.end(), m.begin(), m.end());
        auto read = [&](ZvswReader& r, std::vector<Bytes>& got) {
            const std::uint8_t* m;
            std::uint32_t size;
            while (zvsw_reader_next(r, m, size) == ZVSW_NEXT_MESSAGE) got.emplace_back(m, m + size);
        };
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            ZvswReader r(header);
            std::vector<Bytes> got;
            zvsw_reader_feed(r, stream.data(), cut);
            read(r, got);
            zvsw_reader_feed(r, stream.data() + cut, stream.size() - cut);
            read(r, got);
            ASSERT_EQ(got, *messages) << "cut at " << cut;
            EXPECT_EQ(zvsw_reader_pending(r), 0u);
        }
    }
}

TEST(SimwireFraming, BoundsFromTheSizeFieldAlone)
{
    struct Case {
        std::uint32_t header, size;
        bool malformed;
    } cases[] = {
        {ZVSW_MESSAGE_HEADER, 0, true},           {ZVSW_MESSAGE_HEADER, 11, true},
        {ZVSW_MESSAGE_HEADER, 12, false},         {ZVSW_MESSAGE_HEADER, ZVSW_MAX_SIZE, false},
        {ZVSW_MESSAGE_HEADER, ZVSW_MAX_SIZE + 1, true}, {ZVSW_MESSAGE_HEADER, 0xFFFFFFFF, true},
        {ZVSW_REQUEST_HEADER, 12, true},          {ZVSW_REQUEST_HEADER, 15, true},
        {ZVSW_REQUEST_HEADER, 16, false},         {ZVSW_REQUEST_HEADER, ZVSW_MAX_SIZE, false},
        {ZVSW_REQUEST_HEADER, ZVSW_MAX_SIZE + 1, true},
    };
    const Bytes quit = record(SIMCONNECT_RECV_QUIT{});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.header) + " " + std::to_string(c.size));
        ZvswReader r(c.header);
        Bytes first(c.header, 0);
        zvsw_put_u32(first.data(), c.header);
        // A whole message before it, then its size field and no more of it.
        zvsw_reader_feed(r, first.data(), first.size());
        Bytes field(4);
        zvsw_put_u32(field.data(), c.size);
        zvsw_reader_feed(r, field.data(), 3);
        const std::uint8_t* m;
        std::uint32_t size = 0;
        EXPECT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_MESSAGE);
        EXPECT_EQ(size, c.header);
        EXPECT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_NONE);
        zvsw_reader_feed(r, field.data() + 3, 1);
        if (c.malformed) {
            EXPECT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_MALFORMED);
            EXPECT_EQ(r.malformed_size, c.size);
            zvsw_reader_feed(r, quit.data(), quit.size());
            EXPECT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_MALFORMED);
            r = ZvswReader(c.header);
            zvsw_reader_feed(r, first.data(), first.size());
            EXPECT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_MESSAGE);
        } else {
            EXPECT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_NONE);
            Bytes rest(c.size - 4, 0);
            zvsw_reader_feed(r, rest.data(), rest.size() - 1);
            EXPECT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_NONE);
            zvsw_reader_feed(r, rest.data(), 1);
            ASSERT_EQ(zvsw_reader_next(r, m, size), ZVSW_NEXT_MESSAGE);
            EXPECT_EQ(size, c.size);
        }
    }
}

// Messages that straddle reads, for many rounds: once warm, neither buffer moves or grows.
TEST(SimwireFraming, SteadyStateAllocatesNothing)
{
    Bytes block = record(SIMCONNECT_RECV_SIMOBJECT_DATA{}, Bytes(760, 7).data(), 760u);
    ZvswReader r(ZVSW_MESSAGE_HEADER);
    ZvswQueue q;
    const std::uint8_t* reader_at = nullptr;
    const std::uint8_t* queue_at = nullptr;
    std::size_t handed = 0;
    for (int round = 0; round < 2000; ++round) {
        if (round == 100) reader_at = r.buffer.data(), queue_at = q.buffer.data();
        // Out: one block queued, a socket that takes 700 bytes a round, so 100 wait on.
        if (zvsw_queue_waiting(q) < 4 * block.size()) {
            ASSERT_TRUE(zvsw_queue_append(q, block.data(), block.size()));
        }
        std::size_t n = std::min<std::size_t>(700, zvsw_queue_waiting(q));
        // In: what the socket took, read as it arrives.
        std::memcpy(zvsw_reader_space(r, 4096), zvsw_queue_front(q), n);
        zvsw_reader_filled(r, n);
        zvsw_queue_taken(q, n);
        const std::uint8_t* m;
        std::uint32_t size;
        while (zvsw_reader_next(r, m, size) == ZVSW_NEXT_MESSAGE) {
            ASSERT_EQ(Bytes(m, m + size), block);
            ++handed;
        }
    }
    EXPECT_EQ(handed, 2000u * 700 / block.size());
    EXPECT_EQ(r.buffer.data(), reader_at);
    EXPECT_EQ(q.buffer.data(), queue_at);
}

TEST(SimwireQueue, WaitsTakesAndAppendsUnderALimit)
{
    struct Step {
        char op;  // 'a' append n bytes under limit, 't' the socket takes n
        std::size_t n, limit;
        bool ok;
        std::size_t waiting;
    } steps[] = {
        {'a', 24, 48, true, 24}, {'a', 24, 48, true, 48}, {'a', 1, 48, false, 48},  {'t', 10, 0, true, 38},
        {'a', 10, 48, true, 48}, {'a', 0, 48, true, 48},  {'a', 1, 47, false, 48},  {'t', 100, 0, true, 0},
        {'a', 48, 48, true, 48}, {'t', 48, 0, true, 0},   {'a', 1000, SIZE_MAX, true, 1000},
    };
    ZvswQueue q;
    std::uint8_t next_in = 0, next_out = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(1, s.op) + " " + std::to_string(s.n));
        if (s.op == 'a') {
            Bytes b(s.n);
            for (std::uint8_t& x : b) x = next_in++;
            EXPECT_EQ(zvsw_queue_append(q, b.data(), b.size(), s.limit), s.ok);
            if (!s.ok) next_in = static_cast<std::uint8_t>(next_in - s.n);
        } else {
            std::size_t taken = std::min(s.n, zvsw_queue_waiting(q));
            for (std::size_t i = 0; i < taken; ++i) ASSERT_EQ(zvsw_queue_front(q)[i], next_out++);
            zvsw_queue_taken(q, s.n);
        }
        EXPECT_EQ(zvsw_queue_waiting(q), s.waiting);
        if (zvsw_queue_waiting(q) != 0) {
            EXPECT_EQ(zvsw_queue_front(q)[0], next_out);
        }
    }
    EXPECT_EQ(zvsw_queue_push_within(q, 1, 1000), nullptr);
    EXPECT_NE(zvsw_queue_push_within(q, 0, 1000), nullptr);
}

}  // namespace
