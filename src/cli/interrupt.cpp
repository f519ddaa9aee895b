#include "cli/interrupt.h"

#include "split/splitter.h"

#include <csignal>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

volatile std::sig_atomic_t cleaned_up = 0;

extern "C" void ask_to_stop(int signal)
{
    split_stop_signal = signal;
}

#if defined(_WIN32)
// Windows ends the process once this returns from a close, logoff or
// shutdown event, so it waits (briefly) for the run to remove its unfinished
// files first. Ctrl-C and Ctrl-Break come as signals.
BOOL WINAPI on_console_event(DWORD event)
{
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
        return FALSE;
    split_stop_signal = SIGTERM;
    for (int waited = 0; waited < 4000 && cleaned_up == 0; waited += 50)
        Sleep(50);
    return TRUE;
}
#endif

}  // namespace

void catch_stop_signals()
{
    std::signal(SIGINT, ask_to_stop);
    std::signal(SIGTERM, ask_to_stop);
#if defined(_WIN32)
    std::signal(SIGBREAK, ask_to_stop);
    SetConsoleCtrlHandler(on_console_event, TRUE);
#endif
}

void stop_signals_done()
{
    cleaned_up = 1;
}
