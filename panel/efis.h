// Cockpit panel logic: the first EFIS control panel (navigation display mode, range, option
// buttons, needle selectors, minimums and the barometric knob), layered on the flight data.
#pragma once

void zvpyxpl_efis1_set_show(unsigned int show);
unsigned int zvpyxpl_efis1_get_show();
void zvpyxpl_efis1_set_mode(unsigned int mode);
unsigned int zvpyxpl_efis1_get_mode();
void zvpyxpl_efis1_inc_mode();
void zvpyxpl_efis1_dec_mode();
void zvpyxpl_efis1_set_range(float range);
float zvpyxpl_efis1_get_range();
void zvpyxpl_efis1_press_wxr();
void zvpyxpl_efis1_press_tfc();
void zvpyxpl_efis1_press_arpt();
void zvpyxpl_efis1_press_wpt();
void zvpyxpl_efis1_press_sta();
void zvpyxpl_efis1_press_ctr();
void zvpyxpl_efis1_press_data();
void zvpyxpl_efis1_press_pos();
void zvpyxpl_efis1_press_terr();
void zvpyxpl_efis1_press_fpv();
void zvpyxpl_efis1_press_mtrs();
void zvpyxpl_efis1_mins_select_radio();
void zvpyxpl_efis1_mins_select_baro();
void zvpyxpl_efis1_mins_press_rst();
void zvpyxpl_efis1_inc_mins(float steps);
void zvpyxpl_efis1_dec_mins(float steps);
void zvpyxpl_efis1_select_hpa();
void zvpyxpl_efis1_select_inhg();
void zvpyxpl_efis1_set_baro(float inhg);
float zvpyxpl_efis1_get_baro();
void zvpyxpl_efis1_inc_baro(float steps);
void zvpyxpl_efis1_dec_baro(float steps);
void zvpyxpl_efis1_press_std();
void zvpyxpl_efis1_set_vas1(unsigned int pos);
void zvpyxpl_efis1_set_vas2(unsigned int pos);
