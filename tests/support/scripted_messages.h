// The messages a simulator's server sends, as bytes for a scripted server (scripted_server.h)
// to send whole, in pieces or not at all: the answer to an Open, a quit, an event, an exception
// naming a send id, an object-data message around a data block, and the first bytes of a message
// of any size, a malformed one included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "simwire/wire.h"

namespace scripted {

// Messages as a server sends them, in `version` (the client's protocol number).
std::vector<std::uint8_t> open_message(std::string_view application = "KittyHawk",
                                       std::uint32_t version = ZVSW_PROTOCOL_KITTYHAWK);
std::vector<std::uint8_t> quit_message(std::uint32_t version = ZVSW_PROTOCOL_KITTYHAWK);
std::vector<std::uint8_t> event_message(std::uint32_t event_id, std::uint32_t data = 0,
                                        std::uint32_t version = ZVSW_PROTOCOL_KITTYHAWK);
std::vector<std::uint8_t> exception_message(std::uint32_t exception, std::uint32_t send_id, std::uint32_t index = 0,
                                            std::uint32_t version = ZVSW_PROTOCOL_KITTYHAWK);
std::vector<std::uint8_t> data_message(std::uint32_t request_id, std::uint32_t define_id,
                                       const std::vector<std::uint8_t>& block,
                                       std::uint32_t version = ZVSW_PROTOCOL_KITTYHAWK);
// The first four bytes of a message whose size field says `size` (a malformed one when below
// the 12-byte header or above ZVSW_MAX_SIZE), followed by `rest` zero bytes.
std::vector<std::uint8_t> sized_bytes(std::uint32_t size, std::size_t rest = 8);

}  // namespace scripted
