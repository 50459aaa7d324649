// Where the process's standard streams lead (POSIX: the choice of the
// terminal front-end).
#pragma once

namespace orb {

// True when standard input and standard output are both a terminal.
bool standardStreamsAreTerminal();

// Standard output writes each byte as it is given ("\n" stays "\n"): for a
// process whose output another process reads, such as a single-adapter run's
// event lines. Windows writes text with "\r\n" otherwise; POSIX always keeps
// the bytes, so this does nothing there.
void keepStandardOutputBytes();

}  // namespace orb
