// The messages a scripted server sends (see scripted_messages.h), each made by the codec's
// encoder of its record.
#include "tests/support/scripted_messages.h"

#include <algorithm>
#include <cstring>

#include "simwire/records.h"

namespace scripted {

std::vector<std::uint8_t> open_message(std::string_view application, std::uint32_t version)
{
    SIMCONNECT_RECV_OPEN r{};
    std::size_t n = std::min(application.size(), sizeof r.szApplicationName - 1);
    std::memcpy(r.szApplicationName, application.data(), n);
    r.dwApplicationVersionMajor = 11;
    r.dwApplicationVersionMinor = 0;
    r.dwApplicationBuildMajor = 282174;
    r.dwApplicationBuildMinor = 999;
    r.dwSimConnectVersionMajor = 11;
    r.dwSimConnectVersionMinor = 0;
    r.dwSimConnectBuildMajor = 62651;
    r.dwSimConnectBuildMinor = 3;
    std::vector<std::uint8_t> out(ZVSW_RECV_OPEN_SIZE);
    zvsw_encode_record(out.data(), version, r);
    return out;
}

std::vector<std::uint8_t> quit_message(std::uint32_t version)
{
    std::vector<std::uint8_t> out(ZVSW_RECV_QUIT_SIZE);
    zvsw_encode_record(out.data(), version, SIMCONNECT_RECV_QUIT{});
    return out;
}

std::vector<std::uint8_t> event_message(std::uint32_t event_id, std::uint32_t data, std::uint32_t version)
{
    SIMCONNECT_RECV_EVENT r{};
    r.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
    r.uEventID = event_id;
    r.dwData = data;
    std::vector<std::uint8_t> out(ZVSW_RECV_EVENT_SIZE);
    zvsw_encode_record(out.data(), version, r);
    return out;
}

std::vector<std::uint8_t> exception_message(std::uint32_t exception, std::uint32_t send_id, std::uint32_t index,
                                            std::uint32_t version)
{
    SIMCONNECT_RECV_EXCEPTION r{};
    r.dwException = exception;
    r.dwSendID = send_id;
    r.dwIndex = index;
    std::vector<std::uint8_t> out(ZVSW_RECV_EXCEPTION_SIZE);
    zvsw_encode_record(out.data(), version, r);
    return out;
}

std::vector<std::uint8_t> data_message(std::uint32_t request_id, std::uint32_t define_id,
                                       const std::vector<std::uint8_t>& block, std::uint32_t version)
{
    SIMCONNECT_RECV_SIMOBJECT_DATA r{};
    r.dwRequestID = request_id;
    r.dwObjectID = SIMCONNECT_OBJECT_ID_USER;
    r.dwDefineID = define_id;
    r.dwentrynumber = 1;
    r.dwoutof = 1;
    r.dwDefineCount = 1;
    std::vector<std::uint8_t> out(ZVSW_RECV_SIMOBJECT_DATA_SIZE + block.size());
    std::uint32_t n = zvsw_encode_record(out.data(), version, r, block.data(), static_cast<std::uint32_t>(block.size()));
    out.resize(n);
    return out;
}

std::vector<std::uint8_t> sized_bytes(std::uint32_t size, std::size_t rest)
{
    std::vector<std::uint8_t> out(4 + rest, 0);
    zvsw_put_u32(out.data(), size);
    return out;
}

}  // namespace scripted
