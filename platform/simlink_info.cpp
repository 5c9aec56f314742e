// The one instance of what the program and its simulator library tell each other.
#include "platform/simlink_info.h"

PlatSimLinkInfo plat_sim_link_info;
