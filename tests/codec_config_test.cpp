// Sequence headers carried into later slides, on recordings built byte by byte.
#include "flv_builder.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint8_t AUDIO = 8, VIDEO = 9;

const bytes avc_config = {0x17, 0x00, 0, 0, 0, 1, 0x64, 0, 0x1F};
const bytes hevc_config = {0x1C, 0x00, 0, 0, 0, 1, 2, 3};
const bytes ex_config = {0x90, 'h', 'v', 'c', '1', 1, 2, 3}; // ExHeader, SequenceStart
const bytes aac_config = {0xAF, 0x00, 0x12, 0x10};
// Coded frames with a composition time offset of 0x0102 ms.
bytes avc_frame(std::uint32_t seed, std::uint8_t first = 0x27)
{
    bytes b = tag_data(30, seed, first);
    b[1] = 1, b[2] = 0, b[3] = 1, b[4] = 2;
    return b;
}
const bytes avc_key_1 = avc_frame(1, 0x17), avc_key_2 = avc_frame(2, 0x17);
bytes aac_frame(std::uint32_t seed)
{
    bytes b = tag_data(20, seed, 0xAF);
    b[1] = 1;
    return b;
}

struct carry_case {
    const char* name;
    std::vector<test_tag> tags;
    bool separate;
    // Tags of slide 1, as (type, ts, ext, data) in file order.
    std::vector<test_tag> slide1;
};

std::vector<carry_case> carry_cases()
{
    const bytes big_config = [] {
        bytes b = tag_data(64 * 1024 + 1, 9, 0x17);
        b[1] = 0;
        return b;
    }();
    return {
        {"video and audio headers go first, at 0",
         {{VIDEO, 0, 0, avc_config}, {AUDIO, 0, 0, aac_config}, {VIDEO, 40, 0, avc_frame(1)}, {AUDIO, 1500, 0, aac_frame(2)},
          {VIDEO, 1520, 0, avc_frame(3)}},
         false,
         {{VIDEO, 0, 0, avc_config}, {AUDIO, 0, 0, aac_config}, {AUDIO, 0, 0, aac_frame(2)}, {VIDEO, 20, 0, avc_frame(3)}}},
        {"the most recent header is carried",
         {{VIDEO, 0, 0, avc_config}, {VIDEO, 500, 0, hevc_config}, {VIDEO, 1500, 0, avc_frame(1)}},
         false,
         {{VIDEO, 0, 0, hevc_config}, {VIDEO, 0, 0, avc_frame(1)}}},
        {"enhanced header, first tag past 2^24 ms",
         {{VIDEO, 0, 0, ex_config}, {VIDEO, 1500, 2, avc_frame(1)}},
         false,
         {{VIDEO, 0, 0, ex_config}, {VIDEO, 0, 0, avc_frame(1)}}},
        {"a slide that starts with its own header",
         {{VIDEO, 0, 0, avc_config}, {AUDIO, 0, 0, aac_config}, {VIDEO, 1500, 0, hevc_config}, {VIDEO, 1540, 0, avc_frame(1)}},
         false,
         {{AUDIO, 0, 0, aac_config}, {VIDEO, 0, 0, hevc_config}, {VIDEO, 40, 0, avc_frame(1)}}},
        {"separate mode carries video only",
         {{VIDEO, 0, 0, avc_config}, {AUDIO, 0, 0, aac_config}, {VIDEO, 1500, 0, avc_frame(1)}},
         true,
         {{VIDEO, 0, 0, avc_config}, {VIDEO, 0, 0, avc_frame(1)}}},
        {"a header over 64 KiB is not kept",
         {{VIDEO, 0, 0, big_config}, {VIDEO, 1500, 0, avc_frame(1)}},
         false,
         {{VIDEO, 0, 0, avc_frame(1)}}},
        // Frames that do not decode cannot be encoded again: such a slide
        // starts as cut (the real encoding is the oracle tests' part).
        {"no sequence headers, nothing carried; frames that do not decode start as cut",
         {{VIDEO, 0, 0, tag_data(10, 1, 0x12)}, {AUDIO, 0, 0, tag_data(10, 2, 0x2F)}, {VIDEO, 1500, 0, tag_data(10, 3, 0x22)}},
         false,
         {{VIDEO, 0, 0, tag_data(10, 3, 0x22)}}},
        {"the carried header, then the frames as cut",
         {{VIDEO, 0, 0, avc_config}, {VIDEO, 0, 0, avc_key_1}, {VIDEO, 40, 0, avc_frame(4)}, {VIDEO, 80, 0, avc_key_2},
          {AUDIO, 100, 0, aac_config}, {VIDEO, 120, 0, avc_frame(5)}, {VIDEO, 1520, 0, avc_frame(6)}},
         true,
         {{VIDEO, 0, 0, avc_config}, {VIDEO, 0, 0, avc_frame(6)}}},
        {"a slide that starts on a keyframe is cut as it stands",
         {{VIDEO, 0, 0, avc_config}, {VIDEO, 0, 0, avc_key_1}, {VIDEO, 40, 0, avc_frame(4)}, {VIDEO, 1520, 0, avc_key_2}},
         false,
         {{VIDEO, 0, 0, avc_config}, {VIDEO, 0, 0, avc_key_2}}},
        {"no keyframe at all: cut as it stands",
         {{VIDEO, 0, 0, tag_data(10, 1, 0x22)}, {VIDEO, 1500, 0, tag_data(10, 3, 0x22)}},
         false,
         {{VIDEO, 0, 0, tag_data(10, 3, 0x22)}}},
    };
}

TEST(CodecConfig, CarriedIntoLaterSlides)
{
    const fs::path dir = make_scratch_dir("codec_config");
    const fs::path rec = dir / "rec.flv", cue = dir / "rec.cue";
    write_text(cue, "1\n");
    for (const carry_case& c : carry_cases()) {
        const bytes recording = make_recording(c.tags);
        write_file(rec, recording);
        ASSERT_EQ(split_here(rec, cue, c.separate).result.failure, split_failure::none) << c.name;

        // Slide 0 is never changed: in combined mode it is the recording up to the cut.
        if (!c.separate) {
            const bytes slide0 = without_metadata(read_file(dir / "rec_0.flv"));
            ASSERT_LE(slide0.size(), recording.size()) << c.name;
            EXPECT_TRUE(std::equal(slide0.begin(), slide0.end(), recording.begin())) << c.name;
        }
        const parsed_flv slide1 = parse_flv(read_file(dir / "rec_1.flv"));
        ASSERT_TRUE(slide1.well_formed) << c.name;
        ASSERT_EQ(slide1.tags.size(), c.slide1.size()) << c.name;
        for (std::size_t i = 0; i < c.slide1.size(); ++i) {
            EXPECT_EQ(slide1.tags[i].type, c.slide1[i].type) << c.name << " tag " << i;
            EXPECT_EQ(slide1.tags[i].ts, c.slide1[i].ts) << c.name << " tag " << i;
            EXPECT_EQ(slide1.tags[i].ext, c.slide1[i].ext) << c.name << " tag " << i;
            EXPECT_EQ(slide1.tags[i].data, c.slide1[i].data) << c.name << " tag " << i;
            EXPECT_EQ(slide1.prev_sizes[i], 11 + c.slide1[i].data.size()) << c.name << " tag " << i;
        }
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().rfind("rec_", 0) == 0)
                fs::remove(entry.path());
    }
    fs::remove_all(dir);
}

}  // namespace
