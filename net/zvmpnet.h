// The ZVMP UDP network in one include: its state (net/state.h), packets and their reading and
// walking (net/packet.h), the targets and peers (net/peers.h), and the socket, sending and the
// service (net/service.h).
#pragma once

#include "net/packet.h"
#include "net/peers.h"
#include "net/service.h"
#include "net/state.h"
