// Packvault <projectfile> [/d]: archives the plant logs of a control system
// into encrypted day ZIP archives. See app/app_main.h.
#include "app/app_main.h"

int main(int argc, char** argv) { return PackvaultMain(argc, argv); }
