// The command line through the built binary: its texts, exit statuses and
// what a failed run leaves behind.
#include "flv_builder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// Slide 0 about 1.4 KiB, slide 1 about 5.8 KiB (cue point 1 s).
std::vector<test_tag> two_slides()
{
    std::vector<test_tag> tags;
    for (std::uint32_t ts = 0; ts <= 2000; ts += 100)
        tags.push_back({9, ts, 0, tag_data(ts <= 1000 ? 50 : 500, ts)});
    return tags;
}

struct failure_case {
    const char* name;
    int failing_slide;       // slide whose .flv path is spoiled, or that outgrows the limit
    void (*spoil)(const fs::path& slide_path);
    const char* limit;       // shell commands run before slidecut
    const char* reason;
};

void make_folder(const fs::path& p) { fs::create_directory(p); }
void leave_alone(const fs::path&) {}

// A file size limit stands in for a full disk: writes past it fail with EFBIG.
const failure_case failure_cases[] = {
    {"first slide cannot be created", 0, make_folder, "", "Is a directory"},
    {"second slide cannot be created", 1, make_folder, "", "Is a directory"},
    {"first slide cannot be written whole", 0, leave_alone, "trap '' XFSZ; ulimit -f 1; ", "File too large"},
    {"second slide cannot be written whole", 1, leave_alone, "trap '' XFSZ; ulimit -f 4; ", "File too large"},
};

TEST(ExitStatus, FailedRunKeepsOnlyFinishedSlides)
{
    for (const failure_case& c : failure_cases) {
        const fs::path dir = make_scratch_dir("failure");
        const fs::path rec = dir / "talk.flv", cue = dir / "talk.cue";
        const fs::path failing = dir / ("talk_" + std::to_string(c.failing_slide) + ".flv");
        write_file(rec, make_recording(two_slides()));
        write_text(cue, "1\n");
        c.spoil(failing);

        const run_result r = run_slidecut({rec.string(), cue.string()}, c.limit);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out.find("Program complete."), std::string::npos) << c.name;
        EXPECT_NE(r.err.find(failing.string() + ": " + c.reason), std::string::npos) << c.name << ": " << r.err;
        if (c.failing_slide == 1) {
            EXPECT_EQ(parse_flv(read_file(dir / "talk_0.flv")).tags.size(), 11u) << c.name << ": finished slide kept";
        }
        if (c.spoil == leave_alone) {
            EXPECT_FALSE(fs::exists(failing)) << c.name << ": partial slide removed";
        }
        EXPECT_FALSE(fs::exists(fs::path(failing) += ".part")) << c.name << ": temporary file removed";
        EXPECT_FALSE(fs::exists(dir / "talk_2.flv")) << c.name << ": the run stops at once";
        fs::remove_all(dir);
    }
}

TEST(ExitStatus, CommandLineAndRecording)
{
    const fs::path dir = make_scratch_dir("statuses");
    const fs::path rec = dir / "talk.flv", cue = dir / "talk.cue";
    write_file(rec, make_recording(two_slides()));
    write_text(cue, "1\n");
    const std::string missing = (dir / "missing.flv").string();
    const std::string long_name = (dir / (std::string(250, 'n') + ".flv")).string();
    write_file(long_name, make_recording(two_slides()));

    struct status_case {
        const char* name;
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err_part;
    };
    const status_case cases[] = {
        {"no arguments", {}, 2, "invalid command line\n", "usage: slidecut"},
        {"one argument", {rec.string()}, 2, "invalid command line\n", "usage: slidecut"},
        {"missing recording", {missing, cue.string()}, 1,
         "Processing [" + missing + "] with cue file [" + cue.string() + "]\nFailed to open " + missing,
         "slidecut: cannot open " + missing + ": No such file or directory\n"},
        {"slide name too long", {long_name, cue.string()}, 1,
         "Processing [" + long_name + "] with cue file [" + cue.string() + "]\n", "slidecut: cannot create slide file " + (dir / (std::string(250, 'n') + "_0.flv")).string() + ": File name too long\n"},
        {"complete run", {rec.string(), cue.string()}, 0,
         "Processing [" + rec.string() + "] with cue file [" + cue.string() + "]\nProcessing slide 1...\nProgram complete.",
         ""},
        {"an option slidecut does not have", {rec.string(), cue.string(), "--dry-run"}, 0,
         "Processing [" + rec.string() + "] with cue file [" + cue.string() + "]\nProcessing slide 1...\nProgram complete.",
         "slidecut: warning: the third argument '--dry-run' is ignored"},
        {"the switch not last", {rec.string(), cue.string(), "-s", "extra"}, 0,
         "Processing [" + rec.string() + "] with cue file [" + cue.string() + "]\nProcessing slide 1...\nProgram complete.",
         "slidecut: warning: the arguments '-s' 'extra' are ignored"},
        {"arguments swapped", {cue.string(), rec.string()}, 1,
         "Processing [" + cue.string() + "] with cue file [" + rec.string() + "]\n",
         "slidecut: " + cue.string() + " is no FLV recording: it looks like a cue file"},
    };
    for (const status_case& c : cases) {
        const run_result r = run_slidecut(c.args);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
        if (c.err_part.empty()) {
            EXPECT_EQ(r.err, "") << c.name;
        } else {
            EXPECT_NE(r.err.find(c.err_part), std::string::npos) << c.name << ": " << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "missing_0.flv"));
    fs::remove_all(dir);
}

// A slide's name that names one of the run's inputs stops the run before a
// byte is written over it.
TEST(ExitStatus, NeverWritesOverItsInputs)
{
    struct same_file_case {
        const char* name;
        const char* recording; // as given, in the scratch folder
        const char* cue;
        void (*link)(const fs::path& dir);
        const char* slide;     // the slide's name as slidecut spells it
        const char* input;     // the input it names
    };
    const same_file_case cases[] = {
        {"hard link to the recording", "talk.flv", "talk.cue",
         [](const fs::path& d) { fs::create_hard_link(d / "talk.flv", d / "talk_0.flv"); }, "talk_0.flv", "talk.flv"},
        {"symbolic link to the recording", "talk.flv", "talk.cue",
         [](const fs::path& d) { fs::create_symlink(d / "talk.flv", d / "talk_1.flv"); }, "talk_1.flv", "talk.flv"},
        {"cue file spelled through ./", "./talk.flv", "talk_0.flv",
         [](const fs::path& d) { fs::copy_file(d / "talk.cue", d / "talk_0.flv"); }, "./talk_0.flv", "talk_0.flv"},
    };
    for (const same_file_case& c : cases) {
        const fs::path dir = make_scratch_dir("same_file");
        const bytes recording = make_recording(two_slides());
        write_file(dir / "talk.flv", recording);
        write_text(dir / "talk.cue", "1\n");
        c.link(dir);
        const run_result r = run_slidecut({(dir / c.recording).string(), (dir / c.cue).string()});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_NE(r.err.find((dir / c.slide).string() + " names the same file as " + (dir / c.input).string()),
                  std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(read_file(dir / "talk.flv"), recording) << c.name;
        EXPECT_EQ(read_file(dir / "talk.cue"), (bytes{'1', '\n'})) << c.name;
        EXPECT_FALSE(fs::exists(dir / "talk_2.flv")) << c.name << ": the run stops at once";
        fs::remove_all(dir);
    }
}

}  // namespace
