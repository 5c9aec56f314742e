// The CPFlight unit's start-up sequence and the refresh of its displays and lamps: the driver's
// two periodic entry points (zvpyxcpf_runloop while the simulator is there, zvpyxcpf_drain while
// it is not), which open the port and start the unit when needed, send the dial values and lamps
// that changed since the unit was last told (by the tables of the MCP's getters), and then take
// in what the unit sent.
#pragma once

// The periodic entry point: opens the port and begins the unit's start-up when needed (a unit
// that went away: every ZVPYXCPF_REOPEN_MS, quietly, and one line once it is back); once the
// start-up is over, sends what changed, then executes what the unit sent. Until then the
// unit's bytes stay unread.
void zvpyxcpf_runloop();
// While there is no simulator to carry commands out: reads what the unit has sent and drops it,
// unfinished command included; a unit that went away is looked for, and started once it is back.
void zvpyxcpf_drain();
// Begins the unit's start-up sequence: clears the record and sends "K999". Returns at once;
// zvpyxcpf_startup_step sends the rest when it is due.
void zvpyxcpf_initialise_hardware();
// Sends the start-up step that is due, if any: "Q001" 2 s after "K999", then 5 s later the
// configuring commands and the dials as they are at that moment, followed by the first
// refresh. Called on every turn of the main loop; does nothing when no step is due.
void zvpyxcpf_startup_step();
// True while a start-up sequence is under way.
bool zvpyxcpf_starting();
// Monotonic milliseconds at which the next start-up step is due; -1 when none is pending.
long long zvpyxcpf_next_due_ms();
// True while the loop should wait on the port for the unit's bytes: open, started and not lost.
bool zvpyxcpf_listening();
