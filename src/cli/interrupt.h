// Ctrl-C, SIGTERM and, on Windows, a console that closes ask the run to stop
// before its next tag instead of ending the process with a slide half
// written.
#pragma once

void catch_stop_signals();
// The run has cleaned up: a console-close handler waiting for it may return.
void stop_signals_done();
