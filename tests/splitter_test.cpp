// The splitter in this process, on recordings built byte by byte.
#include "slide_folder_test.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint8_t AUDIO = 8, VIDEO = 9, SCRIPT = 18;

class Splitter : public slide_folder_test {
protected:
    split_outcome split(const std::vector<test_tag>& tags, const std::string& cues, std::uint32_t data_offset = 9)
    {
        return cut(make_recording(tags, data_offset), cues);
    }
    parsed_flv slide(int n) const { return parse_flv(read_file(slide_path(n))); }
    int slide_count() const
    {
        int n = 0;
        while (fs::exists(slide_path(n)))
            ++n;
        return n;
    }
};

std::vector<test_tag> video_every_40ms(std::uint32_t until)
{
    std::vector<test_tag> tags;
    for (std::uint32_t ts = 0; ts <= until; ts += 40)
        tags.push_back({VIDEO, ts, 0, tag_data(20 + ts % 37, ts)});
    return tags;
}

// Every tag of the slide: the recording's bytes, the 32-bit timestamp minus
// the slide's base, the PreviousTagSize as it stood in the recording.
void expect_slide(const parsed_flv& slide, const std::vector<test_tag>& tags, std::size_t first, std::size_t last,
                  std::uint32_t base)
{
    ASSERT_TRUE(slide.well_formed);
    ASSERT_EQ(slide.tags.size(), last - first + 1);
    for (std::size_t i = first; i <= last; ++i) {
        const test_tag& got = slide.tags[i - first];
        EXPECT_EQ(got.type, tags[i].type) << "tag " << i;
        EXPECT_EQ(full_ts(got), full_ts(tags[i]) - base) << "tag " << i;
        EXPECT_EQ(got.data, tags[i].data) << "tag " << i;
        EXPECT_EQ(slide.prev_sizes[i - first], 11 + tags[i].data.size()) << "tag " << i;
    }
}

TEST_F(Splitter, CutsAtCuePointsAndRebases)
{
    const auto tags = video_every_40ms(12000);
    const split_outcome r = split(tags, "00:00:05:000\n9\n");
    EXPECT_EQ(r.result.failure, split_failure::none);
    EXPECT_EQ(r.begun, (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(r.warnings, "");
    ASSERT_EQ(slide_count(), 3);
    // Tags at 5000 and 9000 equal their cue points and stay in the earlier slide.
    expect_slide(slide(0), tags, 0, 125, 0);
    expect_slide(slide(1), tags, 126, 225, 5040);
    expect_slide(slide(2), tags, 226, tags.size() - 1, 9040);
    EXPECT_EQ(slide(1).header, flv_header(9));
}

// A tag that passes several cue points begins the last slide it passes;
// those in between hold nothing and get no file, and one warning names them.
TEST_F(Splitter, ATagPassingSeveralCuesBeginsTheLastSlide)
{
    struct passing_case {
        const char* name;
        const char* cues;
        std::vector<std::uint32_t> times;
        std::vector<std::size_t> slide_sizes; // tags of each slide, 0 for none
        const char* warning;
    };
    const passing_case cases[] = {
        {"the same time twice", "20.3 20.9", {0, 20040, 20080}, {1, 0, 2}, "slide 1 holds no tag"},
        {"next tag passes the following cue point too", "00:00:00:100 00:00:00:200", {0, 300, 400}, {1, 0, 2},
         "slide 1 holds no tag: the tag at byte offset 33 (300 ms)"},
        {"cues before the first tag", "3 5", {7000, 7040}, {0, 0, 2}, "slides 0 to 1 hold no tag"},
        {"next tag passes nothing more", "00:00:00:100 00:00:00:200", {0, 300, 150}, {1, 0, 2}, "slide 1 holds no tag"},
        {"a cue point beyond the last tag is never passed", "1 04:39:37:215 20000", {0, 2000, 0xFFFFFF, 5000},
         {1, 3}, "cut times past the recording's end, its latest tag at 16777.215 s: 20000.000 s (line 1)"},
        {"TimestampExtended counts in the split test", "1 16778", {0, 2000, 0xFFFFFF, 16778001, 0x01000000},
         {1, 2, 2}, ""},
    };
    for (const passing_case& c : cases) {
        std::vector<test_tag> tags;
        for (std::uint32_t t : c.times)
            tags.push_back({AUDIO, t & 0xFFFFFF, static_cast<std::uint8_t>(t >> 24), tag_data(5, t, 0x2F)});
        const split_outcome r = split(tags, c.cues);
        EXPECT_EQ(r.result.failure, split_failure::none) << c.name;
        EXPECT_EQ(r.begun.size() + 1, c.slide_sizes.size()) << c.name; // every number announced
        for (std::size_t n = 0; n < c.slide_sizes.size(); ++n) {
            EXPECT_EQ(fs::exists(slide_path(static_cast<int>(n))), c.slide_sizes[n] != 0) << c.name << " slide " << n;
            if (c.slide_sizes[n] != 0) {
                EXPECT_EQ(slide(static_cast<int>(n)).tags.size(), c.slide_sizes[n]) << c.name << " slide " << n;
            }
            fs::remove(slide_path(static_cast<int>(n)));
        }
        if (*c.warning == 0) {
            EXPECT_EQ(r.warnings, "") << c.name;
        } else {
            EXPECT_NE(r.warnings.find(c.warning), std::string::npos) << c.name << ": " << r.warnings;
        }
    }
}

TEST_F(Splitter, RebasesAll32BitsModulo2To32)
{
    const std::vector<test_tag> tags = {
        {SCRIPT, 700, 0, tag_data(30, 1, 2)},  // a script tag first sets slide 0's base
        {AUDIO, 900, 0, tag_data(9, 2, 0x2F)},
        {VIDEO, 1500, 3, tag_data(12, 3)},     // begins slide 1
        {AUDIO, 1200, 0, tag_data(9, 4, 0x2F)}, // goes backwards
        {VIDEO, 1600, 0xFF, tag_data(12, 5)},
    };
    ASSERT_EQ(split(tags, "1").result.failure, split_failure::none);
    ASSERT_EQ(slide_count(), 2);
    expect_slide(slide(0), tags, 0, 1, 700);
    expect_slide(slide(1), tags, 2, 4, 0x030005DC);
    EXPECT_EQ(full_ts(slide(1).tags[1]), 0xFCFFFED4u); // (1200 - 0x030005DC) mod 2^32
    EXPECT_EQ(full_ts(slide(1).tags[2]), 0xFC000064u); // TimestampExtended re-based too
}

// Cue points before and after the 24-bit wrap at 4:39:37.216; slide 2 spans it.
TEST_F(Splitter, SixHourRecording)
{
    const auto tags = six_hour_tags();
    ASSERT_EQ(split(tags, "01:00:00:000 04:30:00:000 04:45:00:000 05:30:00:000").result.failure, split_failure::none);
    ASSERT_EQ(slide_count(), 5);
    const std::uint32_t first[] = {10000, 3610000, 16210000, 17110000, 19810000};
    const std::uint32_t last[] = {3590026, 16190026, 17090026, 19790026, 21590026};
    for (int n = 0; n < 5; ++n) {
        std::size_t from = 0, to = 0;
        for (std::size_t i = 0; i < tags.size(); ++i) {
            from = full_ts(tags[i]) == first[n] ? i : from;
            to = full_ts(tags[i]) == last[n] ? i : to;
        }
        expect_slide(slide(n), tags, from, to, first[n]);
        EXPECT_EQ(full_ts(slide(n).tags.back()), last[n] - first[n]) << "slide " << n;
    }
}

TEST_F(Splitter, DataOffsetBeyondTheHeader)
{
    const auto tags = video_every_40ms(200);
    ASSERT_EQ(split(tags, "", 37).result.failure, split_failure::none);
    ASSERT_EQ(slide_count(), 1);
    EXPECT_EQ(slide(0).header, flv_header(9)); // the slide's own DataOffset: its tags follow its header
    expect_slide(slide(0), tags, 0, tags.size() - 1, 0);
}

TEST_F(Splitter, DataOffsetAtOrPastTheEnd)
{
    const bytes recording = make_recording(video_every_40ms(200));
    for (std::uint32_t offset : {static_cast<std::uint32_t>(recording.size()), static_cast<std::uint32_t>(recording.size() + 1), 0xFFFFFFFFu}) {
        bytes r = recording;
        const bytes header = flv_header(offset);
        std::copy(header.begin(), header.end(), r.begin());
        const split_outcome result = cut(r, "1");
        EXPECT_EQ(result.result.failure, split_failure::none) << offset;
        EXPECT_EQ(result.warnings, "") << offset;
        EXPECT_EQ(slide_count(), 0) << offset;
    }
}

TEST_F(Splitter, RecordingCutOffAtTheEnd)
{
    const auto tags = video_every_40ms(400);
    const bytes whole = make_recording(tags);
    const std::size_t last_tag = whole.size() - (11 + tags.back().data.size() + 4);
    struct cut_case {
        const char* name;
        std::size_t keep;          // bytes of the recording kept
        std::size_t slide_size;    // bytes expected in the slide file
        std::string warning;
    };
    const std::string at_last_tag = "inside the tag at byte offset " + std::to_string(last_tag);
    const cut_case cases[] = {
        {"partial tag header", whole.size() + 5, whole.size(), "inside the tag header at byte offset " + std::to_string(whole.size())},
        {"tag data cut off", last_tag + 11 + 7, last_tag + 11 + 7, at_last_tag},
        {"only the header of the last tag", last_tag + 11, last_tag + 11, at_last_tag},
        {"trailing size cut off", whole.size() - 2, whole.size() - 2, ""},
    };
    for (const cut_case& c : cases) {
        bytes r = whole;
        r.resize(c.keep, 0x00);
        const split_outcome result = cut(r, "");
        EXPECT_EQ(result.result.failure, split_failure::none) << c.name;
        const bytes out = without_metadata(read_file(dir / "talk_0.flv"));
        ASSERT_EQ(out.size(), c.slide_size) << c.name;
        // Slide 0 starts at 0, so its bytes are the recording's, no filler.
        EXPECT_TRUE(std::equal(out.begin(), out.end(), whole.begin())) << c.name;
        if (c.warning.empty()) {
            EXPECT_EQ(result.warnings, "") << c.name;
        } else {
            EXPECT_NE(result.warnings.find(c.warning), std::string::npos) << c.name << ": " << result.warnings;
        }
    }
}

TEST_F(Splitter, SlideFilesLandBesideTheRecording)
{
    struct name_case {
        fs::path recording;
        fs::path first_slide;
    };
    fs::create_directories(dir / "x.flv");
    const name_case cases[] = {
        {dir / "x.flv" / "rec.flv", dir / "x.flv" / "rec_0.flv"},
        {dir / "x.flv" / "rec", dir / "x.flv" / "rec_0.flv"},
        {dir / "talk.mp4", dir / "talk.mp4_0.flv"},
        {dir / "a.flv.flv", dir / "a_0.flv"},
        {dir / "x.flv" / std::string(240, 'n').append(".flv"), dir / "x.flv" / std::string(240, 'n').append("_0.flv")},
    };
    for (const name_case& c : cases) {
        write_file(c.recording, make_recording(video_every_40ms(80)));
        EXPECT_EQ(split_here(c.recording, cue, false).result.failure, split_failure::none) << c.recording;
        EXPECT_EQ(parse_flv(read_file(c.first_slide)).tags.size(), 3u) << c.recording;
    }
}

// Slides of an earlier run are rewritten in place: what a second run leaves
// must be exactly its own slides, whether they are longer or shorter.
TEST_F(Splitter, RewritesTheSlidesOfAnEarlierRun)
{
    const auto audio_video = [](std::uint32_t until, std::uint32_t seed) {
        std::vector<test_tag> tags;
        for (std::uint32_t ts = 0; ts <= until; ts += 20)
            tags.push_back({ts % 40 == 0 ? VIDEO : AUDIO, ts, 0, tag_data(30 + ts % 53, ts + seed)});
        return make_recording(tags);
    };
    const bytes longer = audio_video(8000, 0), shorter = audio_video(3000, 7);
    for (const bool separate : {false, true}) {
        for (const bytes* first : {&longer, &shorter}) {
            const bytes* second = first == &longer ? &shorter : &longer;
            cut(*second, "2\n", separate);
            std::vector<bytes> fresh;
            for (const char* ext : {"flv", "mp3"})
                for (int n = 0; n < 2; ++n)
                    fresh.push_back(fs::exists(slide_path(n, ext)) ? read_file(slide_path(n, ext)) : bytes{});
            fs::remove_all(dir);
            fs::create_directories(dir);
            cut(*first, "2\n", separate);
            EXPECT_EQ(cut(*second, "2\n", separate).result.failure, split_failure::none);
            std::size_t i = 0;
            for (const char* ext : {"flv", "mp3"})
                for (int n = 0; n < 2; ++n, ++i)
                    EXPECT_EQ(fs::exists(slide_path(n, ext)) ? read_file(slide_path(n, ext)) : bytes{}, fresh[i])
                        << "separate " << separate << ", second run " << (second == &longer ? "longer" : "shorter")
                        << ", slide " << n << "." << ext;
        }
    }
}

// Slides of an earlier run beyond this run's last stay, and the last warning
// names them.
TEST_F(Splitter, NamesTheSlidesLeftFromAnEarlierRun)
{
    struct earlier_case {
        const char* earlier_cues;
        const char* cues;
        std::string warning;
    };
    const earlier_case cases[] = {
        {"1 2 3", "2", "warning: " + slide_path(2).string() + " to " + slide_path(4, "eac3").string() +
                           " are from an earlier run; they are left as they were\n"},
        {"1 2", "2", "warning: " + slide_path(2).string() + " is from an earlier run; it is left as it was\n"},
        {"2", "1 2", ""},
        // Files of a kind this run did not make, within its numbers.
        {"1 2", "1 2", "warning: " + slide_path(0, "aac").string() + ", " + slide_path(1, "mp3").string() +
                           " are from an earlier run; they are left as they were\n"},
    };
    const auto tags = video_every_40ms(4000);
    for (const earlier_case& c : cases) {
        ASSERT_EQ(split(tags, c.earlier_cues).warnings, "");
        // Separate mode's audio files of every kind count as well.
        for (const char* ext : {"opus", "eac3"})
            write_file(slide_path(4, ext), {1});
        if (std::string(c.cues) == c.earlier_cues) {
            fs::remove(slide_path(4, "opus"));
            fs::remove(slide_path(4, "eac3"));
            write_file(slide_path(0, "aac"), {1});
            write_file(slide_path(1, "mp3"), {1});
        }
        const bytes last_earlier = read_file(slide_path(slide_count() - 1));
        const split_outcome r = split(tags, c.cues);
        EXPECT_EQ(r.warnings, c.warning) << c.cues;
        if (!c.warning.empty()) {
            EXPECT_EQ(read_file(slide_path(slide_count() - 1)), last_earlier) << c.cues;
        }
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
}

TEST_F(Splitter, EmptyOrMissingCueFileGivesOneSlide)
{
    const auto tags = video_every_40ms(400);
    write_file(rec, make_recording(tags));
    const split_outcome r = split_here(rec, dir / "missing.cue", false);
    EXPECT_EQ(r.result.failure, split_failure::none);
    EXPECT_NE(r.warnings.find("cannot open cue file " + (dir / "missing.cue").string()), std::string::npos) << r.warnings;
    expect_slide(slide(0), tags, 0, tags.size() - 1, 0);
    EXPECT_EQ(slide_count(), 1);
}

}  // namespace
