// Process entry of zvmp-monitor.
#include "tools/monitor/cli.h"

int main(int argc, char** argv) { return zvmon_main(argc, argv); }
