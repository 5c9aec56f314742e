// The values the program holds itself instead of reading them from the simulator: the ADF
// standby frequencies, the transponder mode, the navigation source, the two flight-director
// switches and the navigation display (EFIS) settings. Owns `zvpyxpl_fd_held`.
#pragma once

struct ZvpyxplHeld {
    unsigned int zvpyxpl_fd_adf1_stby_freq = 140000;
    unsigned int zvpyxpl_fd_adf2_stby_freq = 140000;
    unsigned int zvpyxpl_fd_xpder_mode = 0;

    unsigned int zvpyxpl_fd_ap_src = 0;  // 2: the GPS drives NAV 1
    unsigned int zvpyxpl_fd_fd1_mode = 0;
    unsigned int zvpyxpl_fd_fd2_mode = 0;

    unsigned int zvpyxpl_fd_nd_mode = 0;
    unsigned int zvpyxpl_fd_nd_show = 0x23C;  // airports, waypoints, stations, centred
    float zvpyxpl_fd_nd_range = 40.0f;
    unsigned int zvpyxpl_fd_n1sel = 1;
    unsigned int zvpyxpl_fd_n2sel = 1;
};
extern ZvpyxplHeld zvpyxpl_fd_held;

void zvpyxpl_fd_set_adf1s(unsigned int f);
void zvpyxpl_fd_set_adf2s(unsigned int f);
unsigned int zvpyxpl_fd_get_adf1s();
unsigned int zvpyxpl_fd_get_adf2s();
void zvpyxpl_fd_set_xpdr_mode(unsigned int mode);
unsigned int zvpyxpl_fd_get_xpdr_mode();

// Navigation source; zvpyxpl_fd_set_ap_source (a command) also switches the simulator.
void zvpyxpl_fd_toggle_ap_source();
unsigned int zvpyxpl_fd_get_ap_source();

void zvpyxpl_fd_set_ap_fd1_mode(unsigned int v);
void zvpyxpl_fd_set_ap_fd2_mode(unsigned int v);
unsigned int zvpyxpl_fd_get_ap_fd1_mode();
unsigned int zvpyxpl_fd_get_ap_fd2_mode();

// Navigation display settings, never sent to the simulator.
void zvpyxpl_fd_set_nd_mode(unsigned int mode);
unsigned int zvpyxpl_fd_get_nd_mode();
void zvpyxpl_fd_set_nd_show(unsigned int show);
unsigned int zvpyxpl_fd_get_nd_show();
void zvpyxpl_fd_set_nd_range(float range);
float zvpyxpl_fd_get_nd_range();
void zvpyxpl_fd_set_nd_nav1sel(unsigned int sel);
unsigned int zvpyxpl_fd_get_nd_nav1sel();
void zvpyxpl_fd_set_nd_nav2sel(unsigned int sel);
unsigned int zvpyxpl_fd_get_nd_nav2sel();
