// The signals that ask a POSIX process to stop (Ctrl-C, a polite kill, the
// terminal going away) and the one a closed pipe raises. The front-ends that cancel a run instead of dying
// catch them here. The Windows console program notes its console's events the
// same way: Ctrl-C as Interrupt, Ctrl-Break as Terminate, the console closed
// (or the user logging off, the system shutting down) as HangUp, and its
// parent's stop request (spawned_process.h, signalProcess) as Terminate. The
// Windows GUI program catches none.
#pragma once

namespace orb {

// HangUp asks for what Terminate does: an SSH session that drops must cancel
// the runs, with their results, rather than kill them.
enum class StopSignal { None, Interrupt, Terminate, HangUp };

// From now on SIGINT, SIGTERM and SIGHUP are noted instead of ending the
// process; a noted signal also ends waitForProcessOutput (spawned_process.h)
// at once. One that is ignored (as nohup or a shell's background job start a
// program) stays ignored.
void catchStopSignals();

// Windows: from now on the console's Ctrl-C, Ctrl-Break and close are held,
// and catchStopSignals notes the first of them when it comes, so that none
// ends the program (with status 0, under Wine) before it can cancel. Safe to
// call before the C runtime has started: the console program's entry point
// calls it first. Elsewhere nothing changes.
void holdStopSignalsUntilCaught();

// The latest signal noted since the last call; None when there was none.
StopSignal takeStopSignal();

// Blocks until a stop signal is noted (after catchStopSignals), then returns;
// takeStopSignal says which. For a thread that has nothing else to do.
void waitForStopSignal();

// How the person who stopped the program would name what `signal` noted, for
// the messages: POSIX the signal ("SIGINT", "SIGTERM", "SIGHUP"); Windows the
// console's event of the latest one ("Ctrl-C", "Ctrl-Break", "console
// closed", "logoff", "shutdown") or the parent's "stop request".
const char* describeStopSignal(StopSignal signal);

// A write to a closed connection or pipe fails with an error instead of
// ending the process.
void ignoreBrokenPipes();

}  // namespace orb
