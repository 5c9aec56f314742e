// The values the program holds itself.
#include "flightdata/held.h"

ZvpyxplHeld zvpyxpl_fd_held;

namespace {
ZvpyxplHeld& h = zvpyxpl_fd_held;
}  // namespace

void zvpyxpl_fd_set_adf1s(unsigned int f) { h.zvpyxpl_fd_adf1_stby_freq = f; }
void zvpyxpl_fd_set_adf2s(unsigned int f) { h.zvpyxpl_fd_adf2_stby_freq = f; }
unsigned int zvpyxpl_fd_get_adf1s() { return h.zvpyxpl_fd_adf1_stby_freq; }
unsigned int zvpyxpl_fd_get_adf2s() { return h.zvpyxpl_fd_adf2_stby_freq; }
void zvpyxpl_fd_set_xpdr_mode(unsigned int mode) { h.zvpyxpl_fd_xpder_mode = mode; }
unsigned int zvpyxpl_fd_get_xpdr_mode() { return h.zvpyxpl_fd_xpder_mode; }
void zvpyxpl_fd_toggle_ap_source()
{
    h.zvpyxpl_fd_ap_src = h.zvpyxpl_fd_ap_src == 0 ? 1 : h.zvpyxpl_fd_ap_src == 1 ? 2 : 0;
}
unsigned int zvpyxpl_fd_get_ap_source() { return h.zvpyxpl_fd_ap_src; }
void zvpyxpl_fd_set_ap_fd1_mode(unsigned int v) { h.zvpyxpl_fd_fd1_mode = v; }
void zvpyxpl_fd_set_ap_fd2_mode(unsigned int v) { h.zvpyxpl_fd_fd2_mode = v; }
unsigned int zvpyxpl_fd_get_ap_fd1_mode() { return h.zvpyxpl_fd_fd1_mode; }
unsigned int zvpyxpl_fd_get_ap_fd2_mode() { return h.zvpyxpl_fd_fd2_mode; }
void zvpyxpl_fd_set_nd_mode(unsigned int mode) { h.zvpyxpl_fd_nd_mode = mode; }
unsigned int zvpyxpl_fd_get_nd_mode() { return h.zvpyxpl_fd_nd_mode; }
void zvpyxpl_fd_set_nd_show(unsigned int show) { h.zvpyxpl_fd_nd_show = show; }
unsigned int zvpyxpl_fd_get_nd_show() { return h.zvpyxpl_fd_nd_show; }
void zvpyxpl_fd_set_nd_range(float range) { h.zvpyxpl_fd_nd_range = range; }
float zvpyxpl_fd_get_nd_range() { return h.zvpyxpl_fd_nd_range; }
void zvpyxpl_fd_set_nd_nav1sel(unsigned int sel) { h.zvpyxpl_fd_n1sel = sel; }
unsigned int zvpyxpl_fd_get_nd_nav1sel() { return h.zvpyxpl_fd_n1sel; }
void zvpyxpl_fd_set_nd_nav2sel(unsigned int sel) { h.zvpyxpl_fd_n2sel = sel; }
unsigned int zvpyxpl_fd_get_nd_nav2sel() { return h.zvpyxpl_fd_n2sel; }
