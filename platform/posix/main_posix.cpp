// The program's entry on POSIX systems.
#include "sequence/upgrade_sequence.h"

int main() { return orb::runProgram(nullptr); }
