// zvmp-catalogue: writes the message catalogue's copies in other languages.
#include "tools/catalogue/generate.h"

int main(int argc, char** argv) { return zvcat_main(argc, argv); }
