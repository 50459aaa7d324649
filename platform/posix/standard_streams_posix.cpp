#include <unistd.h>

#include "platform/standard_streams.h"

namespace orb {

bool standardStreamsAreTerminal() { return ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO); }

void keepStandardOutputBytes() {}

}  // namespace orb
