// Whether a client's data definition fits a recording's (see fit.h).
#include "sim/fit.h"

#include "platform/SimConnect.h"
#include "sim/names.h"

namespace {

std::string describe(const ZvrecRow& row)
{
    return "\"" + row.name + "\" in \"" + row.units + "\" as " + zvrec_type_name(row.type);
}

}  // namespace

// The first row in which the client's definition differs from the recording's; empty when none
// does. Offsets are the client's, packed from its types, as the simulator lays out the block.
std::string zvsim_first_difference(const std::vector<ZvrecRow>& recorded, const std::vector<ZvrecRow>& client)
{
    std::size_t offset = 0;
    for (std::size_t i = 0; i < recorded.size() || i < client.size(); ++i) {
        std::string row = "row " + std::to_string(i + 1);
        if (i >= client.size()) return row + " of the recording, " + describe(recorded[i]) + ", is not in the program's";
        if (i >= recorded.size()) return row + " of the program, " + describe(client[i]) + ", is not in the recording";
        const ZvrecRow& a = recorded[i];
        const ZvrecRow& b = client[i];
        if (!zvsim::same_name(a.name.c_str(), b.name.c_str()) || !zvsim::same_name(a.units.c_str(), b.units.c_str()) ||
            a.type != b.type)
            return row + " is " + describe(a) + " in the recording, " + describe(b) + " in the program";
        if (a.offset != offset)
            return row + " starts at byte " + std::to_string(a.offset) + " in the recording, " + std::to_string(offset) +
                   " in the program";
        offset += simconnect_datatype_size(b.type);
    }
    return {};
}

