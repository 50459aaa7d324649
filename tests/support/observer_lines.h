// What a run in a child process tells its RunObserver, as lines of the child's
// output: a test of a forked run asks these values (an upload complete, how
// the run ended) rather than the trace's wording. Each line's text comes from
// the function here that a test compares with.
#pragma once

#include <cstdint>
#include <string>

#include "upgrade/run_outcome.h"

namespace orb::test {

// In the child, before the run: installs an observer that writes each fact
// below to standard error as it is reported.
void echoRunObserver();

// "[observer] upload complete SIZE\n": every byte of the image was acknowledged.
std::string uploadCompleteLine(uint32_t size);
// "[observer] run ended OUTCOME\n", the outcome as its number.
std::string runEndedLine(RunOutcome outcome);

}  // namespace orb::test
