// Separate mode: audio payload to .mp3 slide files, video tags to .flv slide
// files, other tags nowhere.
#include "codecs/aac.h"
#include "flv/tag_kind.h"
#include "slide_folder_test.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint8_t AUDIO = 8, VIDEO = 9, SCRIPT = 18;
constexpr std::uint8_t MP3_FORMAT = 0x2F, AAC_FORMAT = 0xAF, SPEEX_FORMAT = 0xB6;

class SeparateMode : public slide_folder_test {
protected:
    split_outcome split(const bytes& recording, const std::string& cues) { return cut(recording, cues, true); }
};

// Script data first, then audio every 26 ms and video every 40 ms, in time order.
std::vector<test_tag> interleaved(std::uint32_t until, std::uint8_t audio_format = MP3_FORMAT)
{
    std::vector<test_tag> tags = {{SCRIPT, 0, 0, tag_data(40, 99, 2)}};
    std::uint32_t a = 13, v = 0;
    while (a <= until || v <= until) {
        if (a < v && a <= until) {
            tags.push_back({AUDIO, a, 0, tag_data(30 + a % 11, a, audio_format)});
            a += 26;
        } else {
            tags.push_back({VIDEO, v, 0, tag_data(60 + v % 13, v + 7)});
            v += 40;
        }
    }
    return tags;
}

// What the slides must hold: the tags of each slide by the cut rule.
struct expected_slide {
    bytes mp3;
    std::vector<test_tag> video;
};

std::vector<expected_slide> expected_slides(const std::vector<test_tag>& tags, std::uint32_t cut)
{
    std::vector<expected_slide> slides(2);
    for (const test_tag& tag : tags) {
        expected_slide& s = slides[tag.ts > cut ? 1 : 0];
        if (tag.type == AUDIO && !tag.data.empty())
            s.mp3.insert(s.mp3.end(), tag.data.begin() + 1, tag.data.end());
        if (tag.type == VIDEO)
            s.video.push_back(tag);
    }
    return slides;
}

// Slide 1 begins with audio at 5005; its .flv file starts at its first video tag.
TEST_F(SeparateMode, AudioPayloadToMp3AndVideoToFlv)
{
    const auto tags = interleaved(9000);
    const split_outcome r = split(make_recording(tags), "5");
    ASSERT_EQ(r.result.failure, split_failure::none);
    EXPECT_EQ(r.warnings, "") << "MP3 audio gives no warning";
    const auto expected = expected_slides(tags, 5000);
    for (int n = 0; n < 2; ++n) {
        EXPECT_EQ(read_file(slide_path(n, "mp3")), expected[n].mp3) << "slide " << n;
        const parsed_flv flv = parse_flv(read_file(slide_path(n, "flv")));
        ASSERT_TRUE(flv.well_formed) << "slide " << n;
        EXPECT_EQ(flv.header, flv_header(9));
        ASSERT_EQ(flv.tags.size(), expected[n].video.size()) << "slide " << n;
        const std::uint32_t base = expected[n].video.front().ts;
        EXPECT_EQ(base, n == 0 ? 0u : 5040u);
        for (std::size_t i = 0; i < flv.tags.size(); ++i) {
            EXPECT_EQ(flv.tags[i].type, VIDEO);
            EXPECT_EQ(flv.tags[i].ts, expected[n].video[i].ts - base);
            EXPECT_EQ(flv.tags[i].data, expected[n].video[i].data);
        }
    }
    EXPECT_FALSE(fs::exists(slide_path(2, "flv")));
}

// A slide whose tags reach no file (script data, a configuration alone)
// uses up its number, and a warning says so; one whose audio reached its
// .mp3 file is not said to have none, whatever its .flv file lacks.
TEST_F(SeparateMode, SlidesWithoutFramesSayTheyGetNoFile)
{
    const bytes aac_config = {0xAF, 0, 0x12, 0x10}, avc_header = {0x17, 0, 0, 0, 0, 1, 0x42, 0, 0x1E};
    struct empty_case {
        const char* name;
        std::vector<test_tag> slide_1; // between 1 and 3 s
        bool mp3;                      // slide 1 has an .mp3 file
        std::size_t slide_2_video;     // slide 2's .flv tags: its frame, and a carried header
    };
    const empty_case cases[] = {
        {"script data only", {{SCRIPT, 2000, 0, tag_data(10, 2, 2)}}, false, 1},
        {"script data and an AAC configuration", {{SCRIPT, 2000, 0, tag_data(10, 2, 2)}, {AUDIO, 2100, 0, aac_config}},
         false, 1},
        {"audio, then a lone video sequence header",
         {{AUDIO, 2000, 0, tag_data(10, 5, MP3_FORMAT)}, {VIDEO, 2100, 0, avc_header}}, true, 2},
    };
    for (const empty_case& c : cases) {
        std::vector<test_tag> tags = {{VIDEO, 0, 0, tag_data(10, 1)}};
        tags.insert(tags.end(), c.slide_1.begin(), c.slide_1.end());
        tags.push_back({VIDEO, 4000, 0, tag_data(10, 3)});
        tags.push_back({AUDIO, 4100, 0, tag_data(10, 4, MP3_FORMAT)});
        const split_outcome r = split(make_recording(tags), "1 3");
        ASSERT_EQ(r.result.failure, split_failure::none) << c.name;
        EXPECT_EQ(r.warnings.find("slide 1 holds no audio or video frame") != std::string::npos, !c.mp3)
            << c.name << ": " << r.warnings;
        EXPECT_FALSE(fs::exists(slide_path(1, "flv"))) << c.name;
        EXPECT_EQ(fs::exists(slide_path(1, "mp3")), c.mp3) << c.name;
        EXPECT_EQ(parse_flv(read_file(slide_path(2, "flv"))).tags.size(), c.slide_2_video) << c.name;
        EXPECT_EQ(read_file(slide_path(2, "mp3")).size(), 9u) << c.name;
        for (int n = 0; n < 3; ++n)
            for (const char* ext : {"flv", "mp3"})
                fs::remove(slide_path(n, ext));
    }
}

TEST_F(SeparateMode, ZeroSizeAndCutOffAudio)
{
    const bytes payload = tag_data(20, 5, MP3_FORMAT);
    bytes recording = make_recording({
        {AUDIO, 0, 0, {}},
        {AUDIO, 26, 0, payload},
        {AUDIO, 52, 0, tag_data(40, 6, MP3_FORMAT)},
    });
    recording.resize(recording.size() - 4 - 25); // the last tag keeps 15 of its 40 data bytes
    const split_outcome r = split(recording, "");
    EXPECT_EQ(r.result.failure, split_failure::none);
    EXPECT_NE(r.warnings.find("inside the tag"), std::string::npos) << r.warnings;
    bytes expected(payload.begin() + 1, payload.end());
    const bytes cut = tag_data(40, 6, MP3_FORMAT);
    expected.insert(expected.end(), cut.begin() + 1, cut.begin() + 15);
    EXPECT_EQ(read_file(slide_path(0, "mp3")), expected);
}

TEST_F(SeparateMode, NonMp3AudioIsNamedOnce)
{
    const split_outcome r = split(make_recording(interleaved(3000, SPEEX_FORMAT)), "1");
    EXPECT_EQ(r.result.failure, split_failure::none);
    const std::size_t first = r.warnings.find("Speex (SoundFormat 11)");
    ASSERT_NE(first, std::string::npos) << r.warnings;
    EXPECT_EQ(r.warnings.find("Speex (SoundFormat 11)", first + 1), std::string::npos) << "warned more than once";
    EXPECT_TRUE(fs::exists(slide_path(1, "mp3")));
}

bytes aac_tag(std::uint8_t packet_type, bytes body)
{
    body.insert(body.begin(), {AAC_FORMAT, packet_type});
    return body;
}

// AAC goes to .aac slides as ADTS where its AudioSpecificConfig allows, and
// stays raw payload in .mp3 where it does not; nothing is left out unsaid.
TEST_F(SeparateMode, AacSlides)
{
    const bytes lc_44k_stereo = aac_tag(0, {0x12, 0x10}), lc_48k_mono = aac_tag(0, {0x11, 0x88});
    const bytes no_channels = aac_tag(0, {0x12, 0x00}), short_config = aac_tag(0, {0x12});
    const bytes frame_a = aac_tag(1, tag_data(300, 1)), frame_b = aac_tag(1, tag_data(200, 2));
    const bytes too_long = aac_tag(1, tag_data(8185, 3));
    struct aac_case {
        const char* name;
        std::vector<test_tag> tags; // cut at 1 s
        std::vector<std::string> files; // slide files, in slide order
        std::vector<bytes> contents;
        std::string warning;
    };
    auto adts = [](const aac_config& config, const bytes& tag) {
        bytes out(ADTS_HEADER_SIZE);
        make_adts_header(config, tag.size() - 2, out.data());
        out.insert(out.end(), tag.begin() + 2, tag.end());
        return out;
    };
    auto raw = [](std::initializer_list<bytes> tags) {
        bytes out;
        for (const bytes& tag : tags)
            out.insert(out.end(), tag.begin() + 1, tag.end());
        return out;
    };
    const aac_config lc44{2, 4, 2, nullptr}, lc48{2, 3, 1, nullptr};
    const aac_case cases[] = {
        {"the configuration holds into the next slide",
         {{AUDIO, 0, 0, lc_44k_stereo}, {AUDIO, 20, 0, frame_a}, {AUDIO, 1500, 0, frame_b}},
         {"talk_0.aac", "talk_1.aac"}, {adts(lc44, frame_a), adts(lc44, frame_b)}, ""},
        {"the most recent configuration holds",
         {{AUDIO, 0, 0, lc_44k_stereo}, {AUDIO, 20, 0, lc_48k_mono}, {AUDIO, 40, 0, frame_a}},
         {"talk_0.aac"}, {adts(lc48, frame_a)}, ""},
        {"no configuration before the first frame",
         {{AUDIO, 0, 0, frame_a}, {AUDIO, 20, 0, lc_44k_stereo}, {AUDIO, 1500, 0, frame_b}},
         {"talk_0.mp3", "talk_1.aac"}, {raw({frame_a, lc_44k_stereo}), adts(lc44, frame_b)},
         "slide 0 has AAC audio with no AudioSpecificConfig"},
        {"channel configuration 0",
         {{AUDIO, 0, 0, no_channels}, {AUDIO, 20, 0, frame_a}},
         {"talk_0.mp3"}, {raw({no_channels, frame_a})}, "channel configuration 0"},
        {"a configuration shorter than 2 bytes",
         {{AUDIO, 0, 0, short_config}, {AUDIO, 20, 0, frame_a}},
         {"talk_0.mp3"}, {raw({short_config, frame_a})}, "shorter than 2 bytes"},
        {"a configuration ADTS cannot carry inside an .aac slide",
         {{AUDIO, 0, 0, lc_44k_stereo}, {AUDIO, 20, 0, frame_a}, {AUDIO, 40, 0, no_channels}, {AUDIO, 60, 0, frame_b}},
         {"talk_0.aac"}, {adts(lc44, frame_a)}, "configuration at byte offset 349 has channel configuration 0"},
        {"a frame too long for ADTS",
         {{AUDIO, 0, 0, lc_44k_stereo}, {AUDIO, 20, 0, too_long}, {AUDIO, 40, 0, frame_a}},
         {"talk_0.aac"}, {adts(lc44, frame_a)}, "frame at byte offset 32 holds 8185 bytes"},
    };
    for (const aac_case& c : cases) {
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().rfind("talk_", 0) == 0)
                fs::remove(entry.path());
        const split_outcome r = split(make_recording(c.tags), "1");
        EXPECT_EQ(r.result.failure, split_failure::none) << c.name;
        // Less the cut time past the end of those that end before 1 s.
        std::string warnings = r.warnings;
        const std::size_t past_end = warnings.find("past the recording's end");
        if (past_end != std::string::npos)
            warnings.erase(warnings.rfind('\n', past_end) + 1, warnings.find('\n', past_end) + 1);
        if (c.warning.empty()) {
            EXPECT_EQ(warnings, "") << c.name;
        } else {
            EXPECT_NE(warnings.find(c.warning), std::string::npos) << c.name << ": " << warnings;
            EXPECT_EQ(warnings.find('\n'), warnings.size() - 1) << c.name << ": one warning";
        }
        for (std::size_t n = 0; n < c.files.size(); ++n)
            EXPECT_EQ(read_file(dir / c.files[n]), c.contents[n]) << c.name << ": " << c.files[n];
        EXPECT_FALSE(fs::exists(slide_path(static_cast<int>(c.files.size()), "aac"))) << c.name;
    }
}

// The command line's switch, through the built binary.
TEST_F(SeparateMode, SwitchIsTheThirdAndLastArgument)
{
    struct switch_case {
        std::vector<std::string> extra;
        bool separate;
    };
    const switch_case cases[] = {
        {{"-s"}, true}, {{"--split"}, true}, {{"x-sy"}, true},
        {{"-S"}, false}, {{"extra"}, false}, {{"-s", "extra"}, false}, {{}, false},
    };
    write_file(rec, make_recording(interleaved(500)));
    write_text(cue, "");
    for (const switch_case& c : cases) {
        fs::remove(slide_path(0, "mp3"));
        std::vector<std::string> args = {rec.string(), cue.string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(run_slidecut(args).status, 0);
        EXPECT_EQ(fs::exists(slide_path(0, "mp3")), c.separate) << (c.extra.empty() ? "" : c.extra[0]);
        const parsed_flv flv = parse_flv(read_file(slide_path(0, "flv")));
        EXPECT_EQ(flv.tags.front().type, c.separate ? VIDEO : SCRIPT);
    }
}

}  // namespace
