// The flight model on its own: airspeed relations, the standard rate at low speed, the flight
// envelope, crossing a pole, and steps of any length staying stable.
#include <cmath>
#include <utility>

#include <gtest/gtest.h>

#include "sim/world.h"

namespace {

using namespace zvsim;

void fly(World& w, double seconds, double dt = 1.0 / 30)
{
    for (double t = 0; t < seconds - 1e-9; t += dt) step(w, dt);
}

TEST(SimWorld, AirspeedRelationsInvertEachOtherAndMeetAtSeaLevel)
{
    for (double altitude : {0.0, 3000.0, 10668.0, 12000.0}) {
        double p = static_pressure(altitude);
        for (double mach : {0.3, 0.6, 0.82}) EXPECT_NEAR(mach_from_cas(cas_from_mach(mach, p), p), mach, 1e-12);
    }
    EXPECT_NEAR(static_pressure(0.0), 101325.0, 1e-9);
    EXPECT_NEAR(static_pressure(11000.0), 22632.06, 0.5);  // both layers meet at the tropopause
    EXPECT_NEAR(cas_from_mach(0.5, 101325.0), 0.5 * 340.294, 1e-9);
}

TEST(SimWorld, HeadingHoldTurnsAtTheStandardRateWhereTwentyFiveDegreesOfBankAllowIt)
{
    World w = initial_world(0);
    w.altitude_m = 1500 * FEET;
    w.ias_ms = 163 * KNOTS;
    w.ap.master = w.ap.heading = true;
    w.ap_heading = wrap_2pi(w.heading - w.magvar + 170 * DEG);
    derive(w);
    fly(w, 10);  // rolled in
    double before = w.heading;
    fly(w, 10);
    EXPECT_NEAR(wrap_2pi(w.heading - before) / DEG / 10, 3.0, 1e-6);
    EXPECT_LT(std::abs(w.bank), 25 * DEG);
}

TEST(SimWorld, TheAircraftStaysBetweenItsFloorAndCeilingAndWithinItsSpeeds)
{
    World w = initial_world(0);
    w.elevator = 1.0;  // full nose down
    fly(w, 600, 1.0);
    EXPECT_NEAR(w.altitude_m, w.ground_m + 1000 * FEET, 1e-9);
    EXPECT_EQ(w.vs_ms, 0.0);
    w.elevator = -1.0;
    fly(w, 1200, 1.0);
    EXPECT_NEAR(w.altitude_m, 41000 * FEET, 1e-9);

    w.ap.master = w.ap.mach = true;
    w.ap_mach = 0.95;
    fly(w, 120);
    EXPECT_NEAR(w.mach, MMO, 1e-9);  // held at the barber pole
    w.ap.mach = false;
    w.ap.airspeed = true;
    w.ap_airspeed_ms = 100 * KNOTS;
    fly(w, 300);
    EXPECT_NEAR(w.ias_ms, 1.3 * VS1_KT * KNOTS, 1e-9);
}

TEST(SimWorld, CrossingAPoleComesOutHeadingSouth)
{
    World w = initial_world(0);
    w.latitude = 89.99 * DEG;
    w.heading = 0.0;
    derive(w);
    fly(w, 30);
    EXPECT_LT(w.latitude, 89.99 * DEG);
    EXPECT_LE(w.latitude, PI / 2);
    EXPECT_LE(std::abs(w.longitude), PI);
    EXPECT_NEAR(std::cos(w.heading), -1.0, 1e-3);
}

TEST(SimWorld, LongStepsStayStableAndCloseToFrames)
{
    auto engaged = [] {
        World w = initial_world(0);
        w.ap.master = w.ap.heading = w.ap.altitude = w.ap.airspeed = true;
        w.ap_heading = 200 * DEG;
        w.ap_altitude_m = 30000 * FEET;
        w.ap_airspeed_ms = 250 * KNOTS;
        return w;
    };
    World frames = engaged(), minutes = engaged(), once = engaged();
    fly(frames, 1800);
    fly(minutes, 1800, 60);
    step(once, 1800);
    // The magnetic heading moves a little with the variation along the last step's path.
    for (const auto& [w, tolerance] : {std::pair{&minutes, 1e-4}, std::pair{&once, 0.02}}) {
        EXPECT_NEAR(w->heading - w->magvar, frames.heading - frames.magvar, tolerance);
        EXPECT_NEAR(w->altitude_m, frames.altitude_m, 1e-6);
        EXPECT_NEAR(w->ias_ms, frames.ias_ms, 1e-6);
        EXPECT_TRUE(std::isfinite(w->latitude) && std::isfinite(w->longitude));
    }
}

TEST(SimWorld, AnglesWrapIntoTheirRanges)
{
    EXPECT_EQ(wrap_2pi(-1e-300), 0.0);
    EXPECT_NEAR(wrap_2pi(-PI / 2), 1.5 * PI, 1e-12);
    EXPECT_NEAR(wrap_2pi(5 * PI), PI, 1e-12);
    EXPECT_NEAR(wrap_pi(PI), -PI, 1e-12);
    EXPECT_NEAR(wrap_pi(1.5 * PI), -0.5 * PI, 1e-12);
}

}  // namespace
