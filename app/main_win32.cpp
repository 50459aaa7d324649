// The program's GUI entry point on Windows.
#include <windows.h>

#include "upgrade/upgrade_sequence.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return orb::runProgram(instance); }
