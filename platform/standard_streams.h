// Where the process's standard streams lead (POSIX: the choice of the
// terminal front-end).
#pragma once

namespace orb {

// True when standard input and standard output are both a terminal.
bool standardStreamsAreTerminal();

}  // namespace orb
