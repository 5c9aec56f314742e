// Wrapping of an angle in degrees into [-180, 180) by whole turns, with exactly the result of
//     while (d >= 180) d -= 360;
//     while (d < -180) d += 360;
// evaluated in T, but in time that does not grow with the size of d.
#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>

template <std::floating_point T>
T zv_wrap_180(T d)
{
    constexpr T turn = 360;
    if (!(d >= 180 || d < -180)) return d;  // already in range, or not a number
    if (std::isinf(d)) return 0;            // no number of turns brings it back

    // While a step of 360 is exact (the spacing of T at d is at most 8, a divisor of 360), the
    // steps add up to d minus a whole number of turns: fmod gives that exactly. Beyond, every
    // step is rounded to the spacing, so the rounded steps are replayed, one stretch of equal
    // steps per binade. Subtracting 360 from +m and adding it to -m round alike, so the
    // magnitude stands for both loops here.
    const T exact_limit = std::ldexp(T(1), std::numeric_limits<T>::digits + 3);
    const bool negative = d < 0;
    T m = std::fabs(d);
    while (m >= exact_limit) {
        const T next = m - turn;
        if (next == m) break;  // the step vanishes: the loops would never end; wrap m exactly
        const T binade_floor = std::ldexp(T(1), std::ilogb(m));
        m = next;
        if (m < binade_floor) continue;
        // Inside a binade the spacing is uniform and, after the first step, every step whose
        // exact result stays in the binade is rounded alike. Values here are whole numbers
        // below 2^64.
        const auto mi = static_cast<std::uint64_t>(m);
        const auto lo = static_cast<std::uint64_t>(binade_floor);
        if (mi < lo + 360) continue;
        const auto step = static_cast<std::uint64_t>(m - (m - turn));
        m = static_cast<T>(mi - ((mi - lo - 360) / step + 1) * step);
    }
    d = negative ? -m : m;

    T r = std::fmod(d, turn);
    if (r >= 180)
        r -= turn;
    else if (r < -180)
        r += turn;
    return r + T(0);  // the loops leave +0, never -0, once they have stepped
}
