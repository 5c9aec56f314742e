// What the program tells the operator at higher verbosity (-v, verbosity 2 and above): a
// status line every 10 seconds, and one line per failure with its reason, the same cause at
// most once per 10 seconds. Owns the counts behind the status line and the record of recent
// failures. The default output never changes; only a recording asked for with -r that stops on
// its own says so at every verbosity.
#pragma once

// Verbosity from which the status and failure lines print.
inline constexpr int ZVSCPL_REPORT_VERBOSITY = 2;
// The status line's period, and the shortest time between two lines of one cause.
inline constexpr long long ZVSCPL_REPORT_PERIOD_MS = 10000;

struct ZvscplReport {
    // Counts since start; the status line shows what was added since the line before.
    unsigned long long commands = 0;  // panel commands handed to the dispatcher
    unsigned long long dropped = 0;   // panel commands read and dropped while waiting
    // The status line before: when, and the counts then (the network's and the ones above).
    long long last_status_ms = -1;
    unsigned long long sent_then = 0;
    unsigned long long refused_then = 0;
    unsigned long long commands_then = 0;
    unsigned long long dropped_then = 0;
    unsigned long long unsent_then = 0;  // commands the simulator library could not send
    unsigned long long unsent_told = 0;  // the count the last "not reading" line gave
    // Recent failures (and other lines printed at most once a period), by their text: when each
    // last printed.
    struct Failure {
        char cause[160];
        long long at_ms;
    };
    Failure failures[16] = {};
    unsigned int failure_count = 0;
};

extern ZvscplReport zvscpl_report;

// Prints the status line when its period has passed (the first one a period after the first
// call). `connected` tells whether the simulator connection is open.
void zvscpl_report_status(bool connected);
// True, and noted as printed now, unless a line of the same `cause` printed less than a period
// ago.
bool zvscpl_report_due(const char* cause);
// One failure line, "\n<what>: <system's text for error>" (without the reason when `error` is
// 0), unless the same `what` printed less than a period ago.
void zvscpl_report_failure(const char* what, int error);
