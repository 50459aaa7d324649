#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/output_terminal.h"

namespace orb {

bool standardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

size_t standardOutputColumns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

}  // namespace orb
