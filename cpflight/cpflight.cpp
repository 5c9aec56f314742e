// The CPFlight driver's module state.
#include "cpflight/cpflight.h"

char zvpyxcpf_serial_port[ZVPYXCPF_SERIAL_PORT_SIZE] = "";
int zvxpl_cpflight_enabled = 0;
