// The built-in simulator's controls (see controls.h): the environment read once, the user
// signals' flags.
#include "sim/controls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/names.h"

ZvsimControls zvsim_controls;
const std::chrono::steady_clock::time_point zvsim_process_start = std::chrono::steady_clock::now();

namespace {

// A number of seconds from `name` in the environment, within [min, 1e9); `fallback` when it is
// not set, and with one line on standard error when it is not such a number.
double seconds_from_environment(const char* name, double min, bool min_allowed, double fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr) return fallback;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end != text && *end == '\0' && (value > min || (min_allowed && value == min)) && value < 1e9) return value;
    std::fprintf(stderr, "built-in simulator: %s=%s is not a number of seconds; ignored\n", name, text);
    return fallback;
}

std::vector<std::string> names_from_environment(const char* name)
{
    std::vector<std::string> names;
    const char* text = std::getenv(name);
    for (const char* at = text; at != nullptr && *at != '\0';) {
        const char* end = std::strchr(at, ';');
        std::size_t length = end != nullptr ? static_cast<std::size_t>(end - at) : std::strlen(at);
        if (length > 0) names.emplace_back(at, length);
        at += length + (end != nullptr ? 1 : 0);
    }
    return names;
}

}  // namespace

const ZvsimControls& zvsim_controls_load()
{
    ZvsimControls& c = zvsim_controls;
    if (c.loaded) return c;
    c.loaded = true;
    c.offline_s = seconds_from_environment("ZVSIM_OFFLINE_S", 0.0, true, 0.0);
    c.clock_step_s = seconds_from_environment("ZVSIM_CLOCK_STEP", 0.0, false, 0.0);
    c.unknown = names_from_environment("ZVSIM_UNKNOWN");
    const char* path = std::getenv("ZVSIM_REPLAY");
    c.replay_path = path != nullptr ? path : "";
    const char* loop = std::getenv("ZVSIM_REPLAY_LOOP");
    c.replay_loop = loop != nullptr && std::strcmp(loop, "1") == 0;
    if (loop != nullptr && !c.replay_loop && std::strcmp(loop, "0") != 0 && loop[0] != '\0')
        std::fprintf(stderr, "built-in simulator: ZVSIM_REPLAY_LOOP=%s is not 0 or 1; ignored\n", loop);
    return c;
}

void zvsim_controls_install_signals()
{
    if (zvsim_controls.signals_installed) return;
    zvsim_controls.signals_installed = true;
    plat_signals.install_user(&zvsim_controls.restart_requested, &zvsim_controls.setback_requested);
}

bool zvsim_unknown(const char* name)
{
    const std::vector<std::string>& unknown = zvsim_controls_load().unknown;
    return name != nullptr && std::any_of(unknown.begin(), unknown.end(), [&](const std::string& u) {
               return zvsim::same_name(u.c_str(), name);
           });
}

bool zvsim_offline_now()
{
    std::chrono::duration<double> since_start = std::chrono::steady_clock::now() - zvsim_process_start;
    return since_start.count() < zvsim_controls_load().offline_s;
}

bool zvsim_take_restart_request() { return zvsim_controls.restart_requested.exchange(0) != 0; }
bool zvsim_take_setback_request() { return zvsim_controls.setback_requested.exchange(0) != 0; }
