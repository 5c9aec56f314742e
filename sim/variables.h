// The simulator variables the built-in simulator serves, the units it can deliver them in, and
// the writing of one value into a data block in the units and data type a client asked for.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/SimConnect.h"
#include "sim/world.h"

namespace zvsim {

// What a value measures; units convert only within one quantity. "Number", "Bool" and "Enum"
// (Quantity::Plain) fit every variable and deliver the value in the variable's own units.
enum class Quantity { Text, Length, Angle, Speed, Time, Temperature, Pressure, Mach, Ratio, Frequency, Squawk, Plain };

struct Variable {
    const char* name;          // as clients name it, with its index (":1") where it has one
    Quantity quantity;
    const char* native_units;  // the units `get` returns; null for text
    double (*get)(const World&);
    const char* text;          // the value of a text variable
};

// Finds a variable by name, ignoring case; null when the simulator does not know it.
const Variable* find_variable(const char* name);

// Turns a value from the variable's own units into the requested ones: value × scale + offset,
// or the binary-coded octal digits of a squawk.
struct Conversion {
    double scale = 1.0;
    double offset = 0.0;
    bool bco16 = false;
};

// The conversion into `units` (compared ignoring case); none when the units are unknown or
// measure another quantity. Text variables take any units.
std::optional<Conversion> conversion_for(const Variable& var, const char* units);

// Bytes a datum of `type` takes in a data block; 0 for a type the simulator cannot deliver.
std::size_t datatype_size(SIMCONNECT_DATATYPE type);
bool is_text_type(SIMCONNECT_DATATYPE type);

// Writes the variable's present value into `out` (datatype_size(type) bytes). Numbers that do
// not fit an integer type are held at its limits; text is cut to fit and always terminated.
void write_datum(const Variable& var, const Conversion& conversion, SIMCONNECT_DATATYPE type, const World& w,
                 unsigned char* out);

}  // namespace zvsim
