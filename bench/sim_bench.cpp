// Prints what the built-in simulator costs the program: a dispatch with nothing due (the main
// loop makes one every millisecond) and a dispatch that flies a frame and delivers the
// program's 760-byte block (ZVSIM_FRAMES_PER_SECOND a second).
#include <chrono>
#include <cstdio>

#include "flightdata/flightdata.h"
#include "platform/SimConnect.h"
#include "sim/sim.h"

namespace {

double sim_seconds = 1700000000.0;
double bench_clock() { return sim_seconds; }
void CALLBACK ignore(SIMCONNECT_RECV*, DWORD, void*) {}

template <class F>
double nanoseconds_each(int n, F&& f)
{
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < n; ++i) f();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() / n;
}

}  // namespace

int main()
{
    zvsim_clock = bench_clock;
    HANDLE h = nullptr;
    SimConnect_Open(&h, "bench", nullptr, 0, nullptr, 0);
    for (const FlightVariable& row : flightVariables)
        SimConnect_AddToDataDefinition(h, 0, row.name, row.units, row.type);
    SimConnect_RequestDataOnSimObject(h, 0, 0, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_VISUAL_FRAME);
    SimConnect_CallDispatch(h, ignore, nullptr);

    constexpr int N = 200000;
    double idle = nanoseconds_each(N, [&] { SimConnect_CallDispatch(h, ignore, nullptr); });
    double frame = nanoseconds_each(N, [&] {
        sim_seconds += 1.0 / ZVSIM_FRAMES_PER_SECOND;
        SimConnect_CallDispatch(h, ignore, nullptr);
    });
    std::printf("idle dispatch: %.0f ns\nframe dispatch with the 83-variable block: %.0f ns\n", idle, frame);
    std::printf("share of one core at 1000 idle + %d frame dispatches a second: %.4f %%\n",
                ZVSIM_FRAMES_PER_SECOND, (1000 * idle + ZVSIM_FRAMES_PER_SECOND * frame) / 1e9 * 100);
    SimConnect_Close(h);
    return 0;
}
