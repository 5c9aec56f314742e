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

// Where the replay's lines go (a damaged file, a recording that does not fit): standard error,
// with "built-in simulator: " in front; the fuzz target silences them.
extern void (*zvsim_replay_say)(const std::string& line);

// True when connections are served from a recording (the environment is read on the first call).
bool zvsim_replaying();
// Replays `path` from now on (null: the simulator's own world again). False, with a line on
// standard error, when `path` cannot be replayed: connections are then refused.
bool zvsim_replay_start(const char* path, bool loop);

// The SimConnect calls while replaying.
HRESULT zvsim_replay_open(HANDLE* handle, HANDLE event);
HRESULT zvsim_replay_close(HANDLE handle);
HRESULT zvsim_replay_dispatch(HANDLE handle, DispatchProc proc, void* context);
HRESULT zvsim_replay_define(HANDLE handle, DWORD define_id, const char* name, const char* units,
                            SIMCONNECT_DATATYPE type);
// Every other request: accepted on an open connection, without effect.
HRESULT zvsim_replay_accept(HANDLE handle);
// The send id of the last request.
HRESULT zvsim_replay_last_sent(HANDLE handle, DWORD* send_id);
