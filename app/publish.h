// Publishing to streaming panels: the sub-second full and position packets and the
// once-a-second speed-limit packet.
#pragma once

// Once per sub-second pass: the full packet to full-data panels, the position packet to
// position panels. Nothing is built while no panel streams.
void zvscpl_send_subsecond_data();
// Once per once-a-second pass: the speed limits to both kinds of panel.
void zvscpl_send_second_data();
