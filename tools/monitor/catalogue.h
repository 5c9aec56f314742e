// The monitor's view of the message catalogue (protocol/catalogue.h): its lookups under the
// monitor's names, how a received payload is shown, and how a value that a user types becomes
// the payload the program takes. No state.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "protocol/catalogue.h"

using ZvmonSection = ZvmsgSection;
using ZvmonShow = ZvmsgShow;
using ZvmonInput = ZvmsgInput;
using ZvmonEntry = ZvmsgInfo;
inline constexpr std::size_t ZVMON_SECTION_COUNT = ZVMSG_SECTION_COUNT;
inline constexpr const auto& ZVMON_RADIO_WORD_IDS = ZVMSG_RADIO_WORD_IDS;

inline std::span<const ZvmonEntry> zvmon_catalogue() { return ZVMSG_CATALOGUE; }
inline const ZvmonEntry* zvmon_entry_by_id(std::uint32_t id) { return zvmsg_info_by_id(id); }
inline const ZvmonEntry* zvmon_entry_by_name(std::string_view name) { return zvmsg_info_by_name(name); }
inline const char* zvmon_section_name(ZvmonSection section) { return zvmsg_section_name(section); }
inline const char* zvmon_show_name(ZvmonShow show) { return zvmsg_show_name(show); }

// The shown text of one value whose payload (as many bytes as the identifier states) starts at
// `payload`. Not for the radio block, whose words are shown one by one with their own entries.
std::string zvmon_format(const ZvmonEntry& entry, const unsigned char* payload);
// The text followed by the unit, if any.
std::string zvmon_format_with_unit(const ZvmonEntry& entry, const unsigned char* payload);

// A typed value as the payload word of the entry's message, or a one-line reason why not.
struct ZvmonParsed {
    bool ok = false;
    std::uint32_t word = 0;
    std::string error;
};
ZvmonParsed zvmon_parse_value(const ZvmonEntry& entry, std::string_view text);
