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
