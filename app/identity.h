// The program's title and version, as it prints them at start and writes them into a recording,
// and the verbosity that every diagnostic line looks at. The verbosity is kept in the main
// loop's state (app/pyxplugin.cpp), whose start-up raises it with -v and lowers it with -s.
#pragma once

inline constexpr const char TITLE_STRING[] = "Zorvan FS2020 Pyx Plugin";
inline constexpr const char VERSION_STRING[] = "1.0.1";

// Diagnostics print while this is non-zero (zvscpl_state.verbose).
extern int& verbose;
