// One client of zvsim: its requests read from the stream and carried out through the simulator
// backend, the backend's messages queued for it in the client's protocol, and the queue written
// as the socket takes it.
#pragma once

#include "tools/zvsim/server.h"

// Reads what the socket holds (at most a budget a turn) and carries out every whole request.
void zvsrv_read(ZvsrvConnection& c);
// Carries out every whole request the reader holds; a malformed one drops the connection.
void zvsrv_take_requests(ZvsrvConnection& c);
// Carries out one request.
void zvsrv_request(ZvsrvConnection& c, const std::uint8_t* bytes, std::uint32_t size);
// Hands the backend's waiting messages and due data blocks to the client's queue.
void zvsrv_dispatch(ZvsrvConnection& c);
// Writes what the socket takes of the queue.
void zvsrv_write(ZvsrvConnection& c);
// The quit message, of the server's own making (at the end).
void zvsrv_queue_quit(ZvsrvConnection& c);
// Marks the connection to be closed, for `cause`.
void zvsrv_drop(ZvsrvConnection& c, const char* cause);
