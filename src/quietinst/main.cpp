// quietinst.exe: the console setup program (the driver is in driver.cpp).
#include "src/quietinst/driver.h"

int main(int argc, char** argv) { return ZrkConsoleMain(argc, argv, CreateQuietInstApp); }
