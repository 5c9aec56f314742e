// Fuzz target: the bytes a CPFlight unit sends, in chunks of any size, through the driver's
// receive pass, the decoding of each command, the panel operations it causes (simulator
// events through the SimConnect test double) and the display refresh that follows. The
// simulator's record changes between passes so that the refresh has values to send, reads and
// writes of the port fail now and then, and the unit's device goes away and comes back, with
// and without -w. Every serial write must be NUL-terminated text.
//
// Input, a run of operations, each a byte and its fields:
//   0 bytes from the unit: length (2 bytes), the bytes, arriving in one read
//   1 bytes from the unit arriving in reads of a given size: length (2 bytes), read size (byte)
//   2 a pass of the driver (open and start-up when needed, refresh, receive)
//   3 record change: offset (2 bytes), length (byte, 0 to 15), the bytes
//   4 a failing read
//   5 failing writes: how many (byte, 0 to 3)
//   6 the port closes (as at the program's end)
//   7 the unit's device goes away: flags (byte: bit 0 the loop's wait reports it at once,
//     bit 1 -w from now on)
//   8 the unit's device comes back
//   9 time passes: milliseconds (2 bytes)
#include <cstddef>
#include <cstdint>

#include "cpflight/cpflight.h"
#include "flightdata/flightdata.h"
#include "fuzz/support/fakes.h"
#include "fuzz/support/input.h"
#include "fuzz/support/program.h"

using namespace zvfuzz;

namespace {

constexpr unsigned int MAX_PASSES = 1024;

void queue_serial(std::vector<std::uint8_t> bytes, std::size_t read_size)
{
    if (read_size == 0) read_size = bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += read_size) {
        SerialChunk c;
        std::size_t n = bytes.size() - at < read_size ? bytes.size() - at : read_size;
        c.bytes.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
        fakes.serial.push_back(std::move(c));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    reset_program();
    enable_cpflight();
    Input in(data, size);
    for (unsigned int passes = 0; !in.empty() && passes < MAX_PASSES;) {
        switch (in.u8() % 10) {
        case 0: queue_serial(in.bytes(in.u16() % 2048), 0); break;
        case 1: {
            std::size_t length = in.u16() % 2048;
            std::size_t read_size = in.u8() % 32 + 1;
            queue_serial(in.bytes(length), read_size);
            break;
        }
        case 2:
            run_cpflight_pass();
            check_transmissions();
            ++passes;
            break;
        case 3: {
            std::size_t offset = in.u16();
            std::vector<std::uint8_t> bytes = in.bytes(in.u8() % 16);
            poke_record(fdata, offset, bytes.data(), bytes.size());
            break;
        }
        case 4: fakes.serial.push_back(SerialChunk{{}, true}); break;
        case 5: fakes.fail_serial_writes = in.u8() % 4; break;
        case 6: zvpyxcpf_close_serial_port(); break;
        case 7: {
            std::uint8_t flags = in.u8();
            fakes.serial_gone = true;
            if (flags & 2) zvpyxcpf_state.reopen_lost = 1;
            if (flags & 1) zvpyxcpf_port_gone();
            break;
        }
        case 8: fakes.serial_gone = false; break;
        default: fakes.monotonic_ms += in.u16(); break;
        }
    }
    run_cpflight_pass();
    check_transmissions();
    zvpyxcpf_close_serial_port();
    check(!fakes.serial_open, "serial port left open");
    return 0;
}
