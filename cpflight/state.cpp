// The CPFlight driver's state and its names (see state.h).
#include "cpflight/state.h"

// Never destroyed: the state lives as long as the process, whose end releases the port, so the
// port is not closed while other modules' state is being torn down.
ZvpyxcpfState& zvpyxcpf_state = *new ZvpyxcpfState;

char (&zvpyxcpf_serial_port)[ZVPYXCPF_SERIAL_PORT_SIZE] = zvpyxcpf_state.zvpyxcpf_serial_port;
int& zvxpl_cpflight_enabled = zvpyxcpf_state.zvxpl_cpflight_enabled;
PlatSerial& zvpyxcpf_fd = zvpyxcpf_state.zvpyxcpf_fd;
ZvpyxcpfHardware& zvpyxcpf_hardware = zvpyxcpf_state.zvpyxcpf_hardware;
ZvpyxcpfFailureHook& zvpyxcpf_failure_callback = zvpyxcpf_state.zvpyxcpf_failure_callback;
