#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/output_terminal.h"

namespace orb {

namespace {

int descriptorOf(StandardStream stream) { return stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

bool standardStreamIsTerminal(StandardStream stream) { return ::isatty(descriptorOf(stream)) != 0; }

size_t terminalColumns(StandardStream stream) {
    winsize size{};
    if (::ioctl(descriptorOf(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
    return size.ws_col;
}

}  // namespace orb
