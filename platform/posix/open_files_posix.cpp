#include <sys/resource.h>

#include <algorithm>

#include "platform/open_files.h"

namespace orb {

bool raiseOpenFileLimit(size_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min<rlim_t>(wanted, limit.rlim_max);
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    }
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted;
}

}  // namespace orb
