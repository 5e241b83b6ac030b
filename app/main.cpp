#include "Startup.h"

int main(int argc, char** argv) { return TesselMain(argc, argv); }
