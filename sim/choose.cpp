// Which simulator a SimConnect_Open of a program over the built-in simulator meets: the replay
// of a recording when one is chosen (ZVSIM_REPLAY), else the built-in world.
#include "simlink/backend.h"

#include "sim/builtin.h"
#include "sim/replay.h"

const ZvlinkBackend* zvlink_choose(DWORD) { return zvsim_replay_chosen() ? &zvsim_replay_backend : &zvsim_world_backend; }
