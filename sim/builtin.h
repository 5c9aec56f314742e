// The built-in simulator's world as a simulator backend (simlink/backend.h): one connection at
// a time, a fresh world at each open.
//
// - Frames fall due ZVSIM_FRAMES_PER_SECOND times per second of the simulator's clock from the
//   open; each dispatch brings the world to the present frame (session.h tells what it hands
//   over).
// - Given an event handle at open, the simulator signals it when messages wait for a dispatch
//   and at the start of every frame, as the real library signals its event; without one, the
//   program learns when the next frame falls due through plat_wait_sim_due_ms.
// - SimConnect_GetLastSentPacketID gives the send id of the last request, the one its exception
//   would carry: the open is 1, each later request the next number.
// - Life cycle (controls.h): connections are refused while ZVSIM_OFFLINE_S says the simulator
//   is not running yet; a restart (SIGUSR1) makes the next dispatch deliver the quit message,
//   refuses connections for 2 seconds, and the next one finds a fresh world whose date lies an
//   hour earlier than the one before; SIGUSR2 sets the clock of the running world back an hour.
#pragma once

#include "simlink/backend.h"

extern const ZvlinkBackend zvsim_world_backend;
