#include "platform/sockets.h"

namespace orb {

SocketCalls& socketCalls() {
    static SocketCalls calls = systemSocketCalls();
    return calls;
}

}  // namespace orb
