// Processes: starting a companion program or the user's browser, and noticing the user's request
// to stop (Ctrl+C). Each operating system has its own implementation file.
// Threads: interruptRequested may be asked from any thread; the other calls belong to the main thread.
#pragma once

#include <string>

namespace qarvex {

namespace platform {

// Runs program, found in the folder of this process's own executable, with the arguments of argv
// (null-terminated; argv[0] is replaced by the program's path). Where the system allows it the
// program takes the place of this process and the call does not return; elsewhere it waits for
// the program and returns its exit status. -1 when it cannot be started, with the reason in words.
int runProgramBeside(const char *program, char *const *argv, std::string &reason);

// Asks the system to show url in the user's web browser; does not wait for the browser. False
// when nothing could be started.
bool openInBrowser(const char *url);

// From now on Ctrl+C (and a polite request to terminate) only sets the flag that
// interruptRequested reads, so that the program can stop in its own time.
void catchInterrupts();
bool interruptRequested();

} // namespace platform

} // namespace qarvex
