// The built-in simulator serving a recording instead of its own world: with the environment
// variable ZVSIM_REPLAY=FILE, a connection is handed the recorded open message, then every
// recorded message at its recorded time, then the quit message at the end. With
// ZVSIM_REPLAY_LOOP=1 the recording starts again at its end instead, "ABSOLUTE TIME" in its
// blocks shifted so that the simulator's clock keeps going forward. The client's requests and
// events are accepted and change nothing; a client whose data definition differs from the
// recording's is refused. A recording of several sessions (made with -w) is served session by
// session, each opening when its time has come. A dispatch hands over what is due up to and
// including one data block.
#pragma once

#include <string>

#include "platform/SimConnect.h"
#include "simlink/backend.h"

// Where the replay's lines go (a damaged file, a recording that does not fit): standard error,
// with "built-in simulator: " in front; the fuzz target silences them.
extern void (*zvsim_replay_say)(const std::string& line);

// True when connections are served from a recording: one chosen by zvsim_replay_start, or else
// (on the first call) by ZVSIM_REPLAY.
bool zvsim_replay_chosen();
// Replays `path` from now on (null: the simulator's own world again). False, with a line on
// standard error, when `path` cannot be replayed: connections are then refused.
bool zvsim_replay_start(const char* path, bool loop);

// The replay as a simulator backend: every request is accepted on an open connection, without
// effect; the send ids are numbered as the built-in simulator numbers them.
extern const ZvlinkBackend zvsim_replay_backend;
