#include "tests/support/observer_lines.h"

#include <cstdio>

#include "upgrade/run_observer.h"

namespace orb::test {

namespace {

// One fputs per line: stderr is unbuffered, and a line written at once is not
// interleaved with another thread's.
struct EchoingObserver final : RunObserver {
    void uploadComplete(uint32_t size) override { std::fputs(uploadCompleteLine(size).c_str(), stderr); }
    void runEnded(RunOutcome outcome, const char* /*message*/) override {
        std::fputs(runEndedLine(outcome).c_str(), stderr);
    }
};

}  // namespace

void echoRunObserver() {
    static EchoingObserver observer;
    setRunObserver(&observer);
}

std::string uploadCompleteLine(uint32_t size) { return "[observer] upload complete " + std::to_string(size) + "\n"; }

std::string runEndedLine(RunOutcome outcome) {
    return "[observer] run ended " + std::to_string(static_cast<int>(outcome)) + "\n";
}

}  // namespace orb::test
