// Fuzz target: recording files of any content through everything that reads them: the reader,
// zvmp-recording's info and csv, and the built-in simulator's replay serving them to a client
// that registers the program's definition, dispatching every quarter second of the simulator's
// clock until the quit message or 64 dispatches. Every message the replay hands over is read
// whole and must be as long as it says it is handed over.
//
// Input: a byte of choices (bit 0: compress the rest with gzip first, so that the fuzzer's
// records reach the reader through zlib; bit 1: replay in a loop), then the file's bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "flightdata/flightdata.h"
#include "fuzz/support/fakes.h"
#include "sim/replay.h"
#include "sim/sim.h"
#include "tools/recording/recording.h"

using namespace zvfuzz;

namespace {

constexpr int MAX_DISPATCHES = 64;

struct Target {
    int fd = -1;          // the file, in memory
    std::string path;     // its name through /proc
    std::FILE* sink = nullptr;  // where the tool's output goes
    double clock = 1.7e9;
    unsigned long long checksum = 0;
};
Target target;

double fake_clock() { return target.clock; }

void CALLBACK read_whole(SIMCONNECT_RECV* message, DWORD size, void*)
{
    auto* bytes = reinterpret_cast<const std::uint8_t*>(message);
    for (DWORD i = 0; i < size; ++i) target.checksum += bytes[i];
}

std::vector<std::uint8_t> gzipped(const std::uint8_t* data, std::size_t size)
{
    uLongf length = compressBound(static_cast<uLong>(size)) + 32;
    std::vector<std::uint8_t> out(length);
    z_stream s{};
    deflateInit2(&s, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    s.next_in = const_cast<Bytef*>(data);
    s.avail_in = static_cast<uInt>(size);
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

void replay(bool loop)
{
    if (!zvsim_replay_start(target.path.c_str(), loop)) return;
    if (SimConnect_Open(&hSimConnect, "fuzz", nullptr, 0, nullptr, 0) != S_OK) return;
    zvpyxpl_fd_add_definitions();
    SimConnect_TransmitClientEvent(hSimConnect, SIMCONNECT_OBJECT_ID_USER, EVT_HEADING_BUG_SET, 270,
                                   SIMCONNECT_GROUP_PRIORITY_HIGHEST, SIMCONNECT_EVENT_FLAG_GROUPID_IS_PRIORITY);
    for (int n = 0; n < MAX_DISPATCHES; ++n, target.clock += 0.25)
        if (SimConnect_CallDispatch(hSimConnect, read_whole, nullptr) != S_OK) break;
    SimConnect_Close(hSimConnect);
    // A later session, as -w opens one.
    if (SimConnect_Open(&hSimConnect, "fuzz", nullptr, 0, nullptr, 0) == S_OK) {
        SimConnect_CallDispatch(hSimConnect, read_whole, nullptr);
        SimConnect_Close(hSimConnect);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    target.fd = memfd_create("recording", 0);
    check(target.fd >= 0, "memfd_create");
    target.path = "/proc/self/fd/" + std::to_string(target.fd);
    target.sink = std::fopen("/dev/null", "w");
    check(target.sink != nullptr, "/dev/null");
    zvsim_clock = fake_clock;
    zvsim_replay_say = [](const std::string&) {};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    unsigned choices = data[0];
    std::vector<std::uint8_t> file(data + 1, data + size);
    if (choices & 1) file = gzipped(file.data(), file.size());
    check(ftruncate(target.fd, 0) == 0 && pwrite(target.fd, file.data(), file.size(), 0) == static_cast<ssize_t>(file.size()),
          "writing the file");
    target.clock = 1.7e9;
    zvrtool_info(target.path.c_str(), target.sink, target.sink);
    zvrtool_csv(target.path.c_str(), {}, 1, target.sink, target.sink);
    zvrtool_csv(target.path.c_str(), {"ABSOLUTE TIME", "title"}, 3, target.sink, target.sink);
    replay((choices & 2) != 0);
    zvsim_replay_start(nullptr, false);
    return 0;
}
