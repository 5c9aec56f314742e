// What zvmp-recording's commands share: opening a recording with a message when it cannot be
// read, and telling the records apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "record/reader.h"

// Opens `path`; false after a line on `err` saying why not.
bool zvrtool_open(ZvrecReader& reader, const char* path, std::FILE* err);
// The message kind (SIMCONNECT_RECV_ID) of a message record; 0 for any other record, or a message
// too short to have one.
std::uint32_t zvrtool_message_id(const ZvrecRecord& record);
// The data block of a data message of the recording's definition, and its size; null for any
// other record.
const std::uint8_t* zvrtool_block(const ZvrecRecord& record, const ZvrecHeader& header, std::size_t& size);
