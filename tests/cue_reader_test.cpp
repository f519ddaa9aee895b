#include "cue/cue_list.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct token_case {
    const char* token;
    bool kept;
    std::uint32_t value;
};

const token_case token_cases[] = {
    {"90", true, 90000},
    {"00:02:00:000", true, 120000},
    {"195.5", true, 195000},
    {"01:02:03:456", true, 3723456},
    {"1:02:03:456", true, 1000},            // colon at position 1: decimal form
    {"00:00:10:5", true, 10005},            // milliseconds are a count, not a fraction
    {"00:01:30:", true, 90000},             // missing milliseconds count as 0
    {"00:01:30:abc", true, 90000},
    {"99:99:99:999", true, 362439999},
    {"-1:00:00:000", true, 3997766016u},    // 65535 hours, wrapped to 32 bits
    {"12abc", true, 12000},
    {"12.75", true, 12000},                 // fraction dropped before scaling
    {"-3", true, 4294964296u},
    {"2147483520", true, 4294839296u},      // largest float below 2^31, product wraps
    {"0", false, 0},
    {"00:00:00:000", false, 0},
    {"0.5", false, 0},
    {"-0.999", false, 0},
    {"-2147483648", false, 0},              // fits, but times 1000 wraps to 0
    {"aa:bb:cc:ddd", false, 0},
    {"00:xx:30:500", false, 0},
    {"00:01:yy:500", false, 0},
    {"abc", false, 0},
    {"nan", false, 0},
    {"inf", false, 0},
    {"-infinity", false, 0},
    {"1e10", false, 0},
    {"2147483648", false, 0},
    {"-3e9", false, 0},
};

TEST(CueToken, TableOfTokens)
{
    for (const token_case& c : token_cases) {
        std::uint32_t value = 0xDEADBEEF;
        const bool kept = cue_token_value(c.token, &value);
        EXPECT_EQ(kept, c.kept) << c.token;
        if (c.kept)
            EXPECT_EQ(value, c.value) << c.token;
        else
            EXPECT_EQ(value, 0xDEADBEEFu) << c.token << " must leave no value";
    }
}

std::vector<std::uint32_t> cues_of(const std::string& text)
{
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("slidecut_cue_" + std::to_string(::getpid()) + ".txt");
    std::ofstream(path, std::ios::binary) << text;
    std::string warning;
    std::vector<std::uint32_t> cues = read_cues(path.string().c_str(), warning);
    std::filesystem::remove(path);
    EXPECT_EQ(warning, "") << text;
    return cues;
}

struct file_case {
    const char* name;
    std::string text;
    std::vector<std::uint32_t> cues;
};

TEST(CueFile, TableOfFiles)
{
    const file_case cases[] = {
        {"both forms", "90\n00:02:00:000\n195.5\n", {90000, 120000, 195000, CUE_END}},
        {"file order and duplicates", "30 10\t30\r\n", {30000, 10000, 30000, CUE_END}},
        {"13 characters are two tokens", "00:00:10:5000", {10500, CUE_END}},
        {"long number split after 12", "1234567890123", {3000, CUE_END}},
        {"only zero", "0\n", {CUE_END}},
        {"empty", "", {CUE_END}},
        {"word after a number is not a repeat", "5 abc 00:xx:30:500 7", {5000, 7000, CUE_END}},
        {"binary bytes", std::string("\x01\xff\x00 4\x80", 6), {4000, CUE_END}},
    };
    for (const file_case& c : cases)
        EXPECT_EQ(cues_of(c.text), c.cues) << c.name;
}

TEST(CueFile, ThirtyTwoAndThirtyThreeCuePoints)
{
    for (int count : {32, 33}) {
        std::string text;
        std::vector<std::uint32_t> expected;
        for (int i = 1; i <= count; ++i) {
            text += std::to_string(i) + "\n";
            expected.push_back(static_cast<std::uint32_t>(i) * 1000u);
        }
        expected.push_back(CUE_END);
        EXPECT_EQ(cues_of(text), expected) << count << " cue points";
    }
}

TEST(CueFile, MissingFileGivesEmptyListAndWarning)
{
    std::string warning;
    const std::vector<std::uint32_t> cues = read_cues("/nonexistent/slidecut/cues.txt", warning);
    EXPECT_EQ(cues, std::vector<std::uint32_t>{CUE_END});
    EXPECT_EQ(warning, "warning: cannot open cue file /nonexistent/slidecut/cues.txt: No such file or directory; "
                       "the whole recording becomes slide 0");
}

}  // namespace

namespace {

cue_reading reading_of(const std::string& text)
{
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    cue_reading reading = read_cue_text(file, "talk.cue");
    std::fclose(file);
    return reading;
}

// The reader's results stay; what it may have misread is told, one warning
// a token (its line and the token), many of one kind in one line.
TEST(CueFile, SaysWhatItMayHaveMisread)
{
    struct told_case {
        std::string text;
        std::vector<std::uint32_t> cues;
        std::vector<std::string> warnings; // each a part of the warning in that place
    };
    const told_case cases[] = {
        {"00:00:15\n", {CUE_END}, {"talk.cue:1: '00:00:15' gives no time and is dropped: a time in colons is read only "
                                   "with all four fields, HH:MM:SS:mmm; for 15 s write 00:00:15:000"}},
        {"00:00:15.500", {CUE_END}, {"'00:00:15.500' gives no time and is dropped: a time in colons is read only with all four "
                                         "fields, HH:MM:SS:mmm; for 15.500 s write 00:00:15:500"}},
        {"00:15", {CUE_END}, {"talk.cue:1: '00:15' gives no time and is dropped: minutes and seconds"}},
        {"0:00:15:000", {CUE_END}, {"'0:00:15:000' gives no time and is dropped: a time in colons needs two digits"}},
        {"\n\n1:30", {1000, CUE_END}, {"talk.cue:3: '1:30' is read as 1 s: minutes and seconds are no form the reader "
                                        "knows; for 90 s write 00:01:30:000"}},
        {"15.5", {15000, CUE_END}, {"'15.5' is read as 15 s: the fraction of decimal seconds is dropped"}},
        {"00:00:10:5", {10005, CUE_END}, {"'00:00:10:5' is read as 10.005 s: its last field counts milliseconds"}},
        {"00:00:10:000  # slide 2: intro", {10000, 2000, CUE_END},
         {"talk.cue:1: '2:' is read as 2 s: a number in a note became a cut time",
          "talk.cue:1: '#' is skipped: it is no time", "'slide' is skipped", "'intro' is skipped",
          "cut times out of order, taken in the file's order: 2 s on line 1 after 10 s"}},
        {"0:00 Intro\n0:10 Topic A\n", {CUE_END}, {"'0:00' gives no time", "talk.cue:2: '0:10' gives no time",
                                                   "'Intro' is skipped", "'Topic' is skipped", "'A' is skipped"}},
        {"1.5 2.5 3.5 4.5 5.5", {1000, 2000, 3000, 4000, 5000, CUE_END},
         {"talk.cue:1: '1.5' is read as 1 s: the fraction of decimal seconds is dropped; for 1.500 s write "
          "00:00:01:500 (and 4 more like it)"}},
        {"25 10 30 5", {25000, 10000, 30000, 5000, CUE_END},
         {"cut times out of order, taken in the file's order: 10 s on line 1 after 25 s, 5 s on line 1 after 30 s"}},
        {"\xEF\xBB\xBF" "00:00:10:000\n00:00:20:000\n", {10000, 20000, CUE_END}, {}},
        {"00:00:04:500\n9\n00:00:13:000\n17\n", {4500, 9000, 13000, 17000, CUE_END}, {}},
    };
    for (const told_case& c : cases) {
        const cue_reading r = reading_of(c.text);
        EXPECT_EQ(r.cues, c.cues) << c.text;
        ASSERT_EQ(r.warnings.size(), c.warnings.size()) << c.text << ": " << ::testing::PrintToString(r.warnings);
        for (std::size_t i = 0; i < c.warnings.size(); ++i) {
            EXPECT_EQ(r.warnings[i].rfind("warning: ", 0), 0u) << r.warnings[i];
            EXPECT_NE(r.warnings[i].find(c.warnings[i]), std::string::npos) << c.text << ": " << r.warnings[i];
        }
    }
    // Each cue point's line and token, as written.
    const cue_reading r = reading_of("# notes\n00:00:04:500\n\n9 17\n");
    ASSERT_EQ(r.sources.size(), 3u);
    EXPECT_EQ(r.sources[0].line, 2u);
    EXPECT_EQ(r.sources[0].token, "00:00:04:500");
    EXPECT_EQ(r.sources[2].line, 4u);
    EXPECT_EQ(r.sources[2].token, "17");
}

}  // namespace
