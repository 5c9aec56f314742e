// Opening recordings and telling their records apart (see read.h).
#include "tools/recording/read.h"

#include <string>

#include "platform/SimConnect.h"

bool zvrtool_open(ZvrecReader& reader, const char* path, std::FILE* err)
{
    std::string error;
    if (zvrec_read_open(reader, path, error)) return true;
    std::fprintf(err, "zvmp-recording: %s: %s\n", path, error.c_str());
    return false;
}

std::uint32_t zvrtool_message_id(const ZvrecRecord& record)
{
    if (record.kind != ZVREC_MESSAGE || record.payload.size() < sizeof(SIMCONNECT_RECV)) return 0;
    return zvrec_u32(record.payload.data() + 8);
}

const std::uint8_t* zvrtool_block(const ZvrecRecord& record, const ZvrecHeader& header, std::size_t& size)
{
    // The data message's fixed part ends where its block begins; its definition id is at byte 20.
    constexpr std::size_t define_id_at = 20;
    if (zvrtool_message_id(record) != SIMCONNECT_RECV_ID_SIMOBJECT_DATA ||
        record.payload.size() < SIMOBJECT_DATA_HEADER_SIZE ||
        zvrec_u32(record.payload.data() + define_id_at) != header.definition_id)
        return nullptr;
    size = record.payload.size() - SIMOBJECT_DATA_HEADER_SIZE;
    return record.payload.data() + SIMOBJECT_DATA_HEADER_SIZE;
}
