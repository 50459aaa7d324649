// Runs `orb-upgrade --unattended ...` as its entry does, in a forked child
// (runInChild of the whole-run harness), with every adapter's run forked from
// it (instead of re-executed) and a clock 100 times fast there, so that the
// 49,984 ms restart wait passes in half a second. The exit status is the
// child's real one.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/unattended/unattended_events.h"
#include "tests/support/child_process.h"

namespace orb::test {

using UnattendedResult = ChildResult;

// `watch` sees the output so far each time more arrives, with the process id
// (to signal it).
// The event lines of a run's output, in order (other lines left out), and
// those of one name.
std::vector<unattended::Event> eventsIn(const std::string& output);
std::vector<unattended::Event> eventsNamed(const std::string& output, const std::string& name);

// `inChild` runs in the child before the runner starts (to give it the
// signal dispositions that a shell or nohup would); `afterFork` in this
// process before the child starts (runInChild's: what it opens, no run
// inherits).
UnattendedResult runUnattendedInChild(const std::vector<std::string>& args, uint32_t pcAddress,
                                      const std::function<void(const std::string&, pid_t)>& watch = nullptr,
                                      int timeoutMs = 60000, const std::function<void()>& inChild = nullptr,
                                      const std::function<void()>& afterFork = nullptr);

}  // namespace orb::test
