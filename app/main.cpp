// Process entry.
#include "app/pyxplugin.h"

int main(int argc, char** argv) { return zvscpl_main(argc, argv); }
