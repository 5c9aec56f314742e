// Fuzz target: SimConnect messages of any kind and size into the program's dispatch procedure,
// each in a heap block of exactly its size (so a read beyond it shows under AddressSanitizer),
// each batch followed by publishing to a streaming panel of each kind and the CPFlight refresh,
// as the main loop's pass would.
//
// Input, a run of operations, each a byte and its fields:
//   0 raw message: length (2 bytes), the bytes
//   1 message with a header: kind (byte), request id (an odd byte for 0, else a byte and four
//     bytes), length (2 bytes), the bytes after the header fields; the size field states the
//     length
//   2 pass: publishing, the once-a-second publishing and the CPFlight refresh
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/publish.h"
#include "app/pyxplugin.h"
#include "cpflight/cpflight.h"
#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "fuzz/support/network.h"
#include "fuzz/support/program.h"

using namespace zvfuzz;

namespace {

constexpr std::size_t MAX_MESSAGE = 1200;
constexpr unsigned int MAX_OPERATIONS = 2048;

void dispatch(const std::vector<std::uint8_t>& bytes)
{
    // malloc(0) may give null; the procedure must cope with a message of no bytes either way.
    auto* block = static_cast<std::uint8_t*>(std::malloc(bytes.size()));
    if (!bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
    zvscpl_dispatch_proc(reinterpret_cast<SIMCONNECT_RECV*>(block), static_cast<DWORD>(bytes.size()), nullptr);
    std::free(block);
}

std::vector<std::uint8_t> shaped_message(Input& in)
{
    DWORD id = in.u8() % 12;
    DWORD request = in.u8() & 1 ? 0 : in.u32();
    std::size_t size = in.u16() % MAX_MESSAGE;
    std::vector<std::uint8_t> bytes(size);
    SIMCONNECT_RECV_SIMOBJECT_DATA header{};
    header.dwSize = static_cast<DWORD>(size);
    header.dwVersion = 4;
    header.dwID = id;
    header.dwRequestID = request;
    std::size_t fields = id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA ? SIMOBJECT_DATA_HEADER_SIZE : sizeof(SIMCONNECT_RECV);
    if (size > 0) std::memcpy(bytes.data(), &header, std::min(size, fields));
    if (size > fields) {
        std::vector<std::uint8_t> rest = in.bytes(size - fields);
        if (!rest.empty()) std::memcpy(bytes.data() + fields, rest.data(), rest.size());
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    reset_program();
    open_with_streaming_peers();
    enable_cpflight();
    Input in(data, size);
    for (unsigned int n = 0; !in.empty() && n < MAX_OPERATIONS; ++n) {
        switch (in.u8() % 3) {
        case 0: dispatch(in.bytes(in.u16() % MAX_MESSAGE)); break;
        case 1: dispatch(shaped_message(in)); break;
        default:
            zvscpl_send_subsecond_data();
            zvscpl_send_second_data();
            run_cpflight_pass();
            check_transmissions();
            break;
        }
    }
    zvscpl_send_subsecond_data();
    zvscpl_send_second_data();
    run_cpflight_pass();
    check_transmissions();
    zvpyxcpf_close_serial_port();
    return 0;
}
