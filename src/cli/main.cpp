// The command line: arguments, every text the tool prints and its exit status.
#include "cli/interrupt.h"
#include "cli/terminal.h"
#include "io/platform.h"
#include "split/splitter.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_RUN_FAILED = 1;
constexpr int EXIT_BAD_COMMAND_LINE = 2;

// Diagnostics go to standard error after whatever standard output holds, so
// that the two stay in order on a terminal.
void diagnose(const char* text)
{
    std::fflush(stdout);
    std::fprintf(stderr, "slidecut: %s\n", text);
}

// The run's lines and warnings, with the terminal's progress line cleared
// before each and drawn again after.
void print_event(const split_event& event, void* context)
{
    auto& view = *static_cast<terminal_view*>(context);
    if (event.kind == split_event_kind::slide_begun) {
        clear_progress(view);
        std::printf("Processing slide %i...\n", event.slide);
        std::fflush(stdout);
    } else if (event.kind == split_event_kind::warning) {
        clear_progress(view);
        diagnose(event.text.c_str());
    }
    view_event(view, event);
}

// Arguments after the cue file other than one -s change nothing; a user
// trying an option that slidecut does not have is told so.
void warn_ignored_arguments(int argc, char** argv)
{
    if (argc == 4 && std::strstr(argv[3], "-s") == nullptr) {
        diagnose((std::string("warning: the third argument '") + argv[3] +
                  "' is ignored: slidecut knows no option but -s; the slides are written as without it")
                     .c_str());
    } else if (argc > 4) {
        std::string ignored;
        for (int i = 3; i < argc; ++i)
            ignored += std::string(i > 3 ? " '" : "'") + argv[i] + "'";
        diagnose(("warning: the arguments " + ignored +
                  " are ignored: -s counts only as the third and last argument; the slides are written as without "
                  "it")
                     .c_str());
    }
}

void report_failure(const split_result& result)
{
    const char* what = "cannot read";
    switch (result.failure) {
    case split_failure::open_recording: what = "cannot open"; break;
    case split_failure::create_slide: what = "cannot create slide file"; break;
    case split_failure::write_slide: what = "cannot write slide file"; break;
    case split_failure::slide_is_input:
        diagnose((result.path + " names the same file as " + result.input_path + "; no slide is written over it")
                     .c_str());
        return;
    case split_failure::interrupted: {
        const char* name = split_stop_signal == SIGINT ? "SIGINT" : split_stop_signal == SIGTERM ? "SIGTERM" : "a signal";
        const std::string text = std::string("stopped by ") + name + " at slide " + std::to_string(result.slide) +
                                 ", byte offset " + std::to_string(result.offset) +
                                 "; the finished slides are kept, the unfinished slide files removed";
        diagnose(text.c_str());
        return;
    }
    case split_failure::not_flv:
        diagnose((result.path + " " + result.detail).c_str());
        return;
    case split_failure::read_recording:
    case split_failure::none: break;
    }
    const std::string text = std::string(what) + " " + result.path + ": " + std::strerror(result.error);
    diagnose(text.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::printf("invalid command line\n");
        std::fflush(stdout);
        std::fprintf(stderr, "usage: slidecut RECORDING.flv CUEFILE [-s]\n");
        return EXIT_BAD_COMMAND_LINE;
    }
    // The switch counts only as the third and last argument.
    std::uint32_t separate_audio = 0;
    if (argc == 4 && std::strstr(argv[3], "-s") != nullptr)
        separate_audio |= 1;

    std::printf("Processing [%s] with cue file [%s]\n", argv[1], argv[2]);
    warn_ignored_arguments(argc, argv);
    terminal_view view;
    start_view(view, is_terminal(stderr) ? stderr : nullptr);
    catch_stop_signals();
    const split_result result = split_flv(argv[1], argv[2], separate_audio != 0, print_event, &view);
    stop_signals_done();
    clear_progress(view);
    if (result.failure == split_failure::open_recording)
        std::printf("Failed to open %s", argv[1]);
    if (result.failure != split_failure::none) {
        report_failure(result);
        // A shell's status for a process a signal ended: 130 for SIGINT, 143 for SIGTERM.
        return result.failure == split_failure::interrupted ? 128 + split_stop_signal : EXIT_RUN_FAILED;
    }
    print_summary(view);
    std::printf("Program complete.");
    std::fflush(stdout);
    return EXIT_DONE;
}
