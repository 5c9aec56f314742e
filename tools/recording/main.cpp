// Process entry of zvmp-recording.
#include "tools/recording/recording.h"

int main(int argc, char** argv) { return zvrtool_main(argc, argv); }
