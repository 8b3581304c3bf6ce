#pragma once

#include <functional>

// The system's requests to end the program run `stop` on the graphical
// thread, once: on Linux SIGTERM (a logout, `systemctl stop`, `kill`), SIGINT
// (Ctrl+C in a terminal) and SIGHUP (the terminal closed); on Windows Ctrl+C,
// Ctrl+Break, the console closed and the end of the session. A second request
// while the first one's stop runs ends the program at once.
//
// Installed once, after the application object exists; `stop` should close
// the program as the window's close button does.
void installStopSignals(std::function<void()> stop);
