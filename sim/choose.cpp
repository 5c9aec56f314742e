// Which simulator a SimConnect_Open of a program over the built-in simulator meets: where a
// SimConnect.cfg is found, the simulator it names over the network (POSIX; on Windows the
// simulator's own library reads it); else the replay of a recording when one is chosen
// (ZVSIM_REPLAY), else the built-in world.
#include "simlink/backend.h"

#include "sim/builtin.h"
#include "sim/replay.h"
#ifndef _WIN32
#include "simclient/client.h"
#endif

const ZvlinkBackend* zvlink_choose([[maybe_unused]] DWORD config_index)
{
#ifndef _WIN32
    if (zvcli_choose(config_index)) return &zvcli_backend;
#endif
    return zvsim_replay_chosen() ? &zvsim_replay_backend : &zvsim_world_backend;
}
