// Keeps test programs off the host network: moves the calling process into a network namespace
// of its own that holds only loopback, with multicast routed to it from 127.0.0.1 and the ports
// the kernel picks kept below the program's range. Where no namespace can be made, the process
// must already be in one that holds nothing but loopback. A process started with
// ZV_TEST_SHARED_NETNS=1 stays in its namespace, which it shares with Wine's server
// (scripts/test-windows), under the same condition.
#pragma once

// True when the process is isolated; false (with a message on stderr) when it is not.
bool zvtest_isolate_network();
