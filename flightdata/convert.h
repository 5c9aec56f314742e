// Floating-point to integer conversions that are defined for every input. The simulator and the
// panels can hand over any double or float, not-a-number and infinities included; a plain cast
// of a value outside the target range is undefined behaviour, so every such conversion in the
// program goes through these. In-range values convert exactly as a cast (or round) would.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Truncation toward zero. Not-a-number gives 0; a value beyond the range gives the nearest end.
inline std::int32_t zv_trunc_i32(double v)
{
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

inline std::int64_t zv_trunc_i64(double v)
{
    constexpr double two_63 = 9223372036854775808.0;
    if (std::isnan(v)) return 0;
    if (v <= -two_63) return std::numeric_limits<std::int64_t>::min();
    if (v >= two_63) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(v);
}

// Rounding to the nearest whole number, halves away from zero, with the same rules for
// not-a-number and out-of-range values.
inline std::int32_t zv_round_i32(double v) { return zv_trunc_i32(std::round(v)); }
inline std::int64_t zv_round_i64(double v) { return zv_trunc_i64(std::round(v)); }

// Nearest float, as IEEE round-to-nearest gives it: a value beyond the largest float but less
// than half a step above it rounds to the largest float; from half a step on (a tie rounds to the
// even neighbour, which here is the infinity) it becomes the infinity of its sign. The plain
// conversion of any double beyond the float range is undefined in C++.
inline float zv_narrow_f32(double v)
{
    constexpr float max = std::numeric_limits<float>::max();
    constexpr double overflow = 0x1.ffffffp127;  // the largest float plus half its last step
    if (v >= overflow) return std::numeric_limits<float>::infinity();
    if (v <= -overflow) return -std::numeric_limits<float>::infinity();
    if (v > max) return max;
    if (v < -max) return -max;
    return static_cast<float>(v);
}
