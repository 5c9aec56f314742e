// The defined float-to-integer conversions and the angle wrapping that replaces the loops.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "flightdata/convert.h"
#include "flightdata/wrap.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kI32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();

TEST(Convert, TruncationAndRoundingForEveryKindOfInput)
{
    struct Row {
        double v;
        std::int32_t trunc32, round32;
        std::int64_t trunc64, round64;
    };
    const Row rows[] = {
        {0.0, 0, 0, 0, 0},
        {-0.0, 0, 0, 0, 0},
        {2.5, 2, 3, 2, 3},
        {-2.5, -2, -3, -2, -3},
        {2.4999999, 2, 2, 2, 2},
        {-0.2, 0, 0, 0, 0},
        {-0.5, 0, -1, 0, -1},
        {2147483647.0, kI32Max, kI32Max, 2147483647, 2147483647},
        {2147483647.5, kI32Max, kI32Max, 2147483647, 2147483648},
        {2147483648.0, kI32Max, kI32Max, 2147483648, 2147483648},
        {-2147483648.0, kI32Min, kI32Min, -2147483648LL, -2147483648LL},
        {-2147483648.9, kI32Min, kI32Min, -2147483648LL, -2147483649LL},
        {-2147483649.0, kI32Min, kI32Min, -2147483649LL, -2147483649LL},
        {9223372036854775808.0, kI32Max, kI32Max, kI64Max, kI64Max},
        {-9223372036854775808.0, kI32Min, kI32Min, kI64Min, kI64Min},
        {9223372036854774784.0, kI32Max, kI32Max, 9223372036854774784LL, 9223372036854774784LL},
        {1e300, kI32Max, kI32Max, kI64Max, kI64Max},
        {-1e300, kI32Min, kI32Min, kI64Min, kI64Min},
        {kInf, kI32Max, kI32Max, kI64Max, kI64Max},
        {-kInf, kI32Min, kI32Min, kI64Min, kI64Min},
        {kNaN, 0, 0, 0, 0},
        {-kNaN, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.v);
        EXPECT_EQ(zv_trunc_i32(r.v), r.trunc32);
        EXPECT_EQ(zv_round_i32(r.v), r.round32);
        EXPECT_EQ(zv_trunc_i64(r.v), r.trunc64);
        EXPECT_EQ(zv_round_i64(r.v), r.round64);
    }
}

TEST(Convert, NarrowingToSinglePrecisionRoundsToNearest)
{
    constexpr float kFltMax = std::numeric_limits<float>::max();
    constexpr float kFltInf = std::numeric_limits<float>::infinity();
    constexpr double kHalfStepBeyond = 0x1.ffffffp127;  // the largest float plus half its last step
    struct Row {
        double v;
        float narrowed;
    };
    const Row rows[] = {
        {1.5, 1.5f},
        {0.1, 0.1f},
        {kFltMax, kFltMax},
        {0x1.fffffe8p127, kFltMax},  // a quarter step beyond
        {std::nextafter(kHalfStepBeyond, 0.0), kFltMax},
        {-std::nextafter(kHalfStepBeyond, 0.0), -kFltMax},
        {kHalfStepBeyond, kFltInf},  // the tie goes to the even neighbour
        {-kHalfStepBeyond, -kFltInf},
        {1e300, kFltInf},
        {-1e300, -kFltInf},
        {kInf, kFltInf},
        {-kInf, -kFltInf},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.v);
        EXPECT_EQ(zv_narrow_f32(r.v), r.narrowed);
    }
    EXPECT_TRUE(std::isnan(zv_narrow_f32(kNaN)));
}

// The loops the wrapping stands for, run step by step.
template <typename T>
T wrap_by_loops(T d)
{
    while (d >= 180) d -= 360;
    while (d < -180) d += 360;
    return d;
}

template <typename T>
bool same_bits(T a, T b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

TEST(Wrap, DoubleMatchesTheLoopsBitForBit)
{
    const double values[] = {0.0,   -0.0,    179.999, 180.0,   -180.0,  -180.0000001, 359.9999999, 360.0,
                             -360.0, 540.0,  -540.0,  720.0,   -720.0,  1e-300,       -190.5,      12345.678,
                             -98765.4321, 3.6e6 + 0.1, -3.6e6 - 0.1, 7654321.123456789, 1e7 / 3.0};
    for (double v : values) {
        SCOPED_TRACE(v);
        EXPECT_TRUE(same_bits(zv_wrap_180(v), wrap_by_loops(v)));
    }
    // A deterministic spread of fractional values over both signs.
    std::uint64_t x = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 300; ++i) {
        x = x * 6364136223846793005u + 1442695040888963407u;
        const double v = (static_cast<double>(x >> 11) / 9007199254740992.0 - 0.5) * 2.0e7;
        SCOPED_TRACE(v);
        ASSERT_TRUE(same_bits(zv_wrap_180(v), wrap_by_loops(v)));
    }
}

// In single precision the stretch where every step of 360 is rounded (2^27 up to just above 2^33,
// where the step vanishes) is short enough to run the loops themselves, so the replay of rounded steps is
// checked against them there, including odd spacings where the rounding of the first step ties.
TEST(Wrap, SinglePrecisionMatchesTheLoopsWhereStepsAreRounded)
{
    const float values[] = {
        134217728.0f,  134217744.0f,  134217760.0f,  134217776.0f,  150000016.0f,  268435456.0f,
        268435488.0f,  300000032.0f,  536870912.0f,  536871040.0f,  999999936.0f,  1073741824.0f,
        1073742080.0f, 2000000000.0f, 2147483648.0f, 2147484160.0f, 3000000000.0f, 4294967296.0f,
        5000000512.0f, 8589933568.0f, 8589934592.0f, 134217600.0f, 100000001.0f,
    };
    for (float v : values) {
        for (float s : {v, -v}) {
            SCOPED_TRACE(s);
            EXPECT_TRUE(same_bits(zv_wrap_180(s), wrap_by_loops(s)));
        }
    }
}

TEST(Wrap, ValuesTheLoopsNeverFinishEndAtOnceInRange)
{
    EXPECT_EQ(zv_wrap_180(kInf), 0.0);
    EXPECT_EQ(zv_wrap_180(-kInf), 0.0);
    EXPECT_EQ(zv_wrap_180(std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_TRUE(std::isnan(zv_wrap_180(kNaN)));
    // Above 2^62 subtracting 360 leaves a double unchanged: the whole turns are taken exactly.
    EXPECT_EQ(zv_wrap_180(4611686018427388928.0), 128.0);  // 2^62 + 1024 = 128 modulo 360
    EXPECT_EQ(zv_wrap_180(-4611686018427388928.0), -128.0);
    for (double v : {4611686018427387904.0, 1e20, 1e300, -1e300, std::numeric_limits<double>::max(),
                     576460752303423488.0 /* 2^59 */}) {
        SCOPED_TRACE(v);
        const double r = zv_wrap_180(v);
        EXPECT_GE(r, -180.0);
        EXPECT_LT(r, 180.0);
    }
    EXPECT_EQ(zv_wrap_180(8589935616.0f), 96.0f);  // 2^33 + 1024 = 96 modulo 360
    EXPECT_EQ(zv_wrap_180(-8589935616.0f), -96.0f);
}

}  // namespace
