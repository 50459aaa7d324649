// How many files the process may hold open: a batch holds two pipes a run.
#pragma once

#include <cstddef>

namespace orb {

// Raises the soft limit on open files towards `wanted`, as far as the hard
// limit lets it; the limit now in force (SIZE_MAX: none).
size_t raiseOpenFileLimit(size_t wanted);

}  // namespace orb
