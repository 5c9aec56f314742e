// Panel commands: the network's message hook, which turns each accepted application message
// into one call of a flight-data or panel operation. Nothing is ever answered.
#pragma once

#include "platform/net.h"

// Carries out the panel command it is handed; the network's own messages, and identifiers
// that are not commands, are ignored.
void zvscpl_zvmp_message_callback(unsigned int id, void* data, sockaddr_in* from);
