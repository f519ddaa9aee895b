// Sequence headers carried into later slides, on recordings built byte by byte.
#include "codecs/aac.h"
#include "flv_builder.h"
#include "restart/reencoder.h"
#include "slides/slide_writer.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint8_t AUDIO = 8, VIDEO = 9;

const bytes avc_config = {0x17, 0x00, 0, 0, 0, 1, 0x64, 0, 0x1F};
const bytes hevc_config = {0x1C, 0x00, 0, 0, 0, 1, 2, 3};
const bytes ex_config = {0x90, 'h', 'v', 'c', '1', 1, 2, 3}; // ExHeader, SequenceStart
const bytes aac_config = {0xAF, 0x00, 0x12, 0x10};
// Extended headers: AV1 SequenceStart and colorInfo Metadata (a command
// frame), Opus SequenceStart (an OpusHead) and MultichannelConfig.
const bytes av1_start = {0x90, 'a', 'v', '0', '1', 0x81, 0x08, 0x0C, 0x00};
const bytes av1_color = {0xD4, 'a', 'v', '0', '1', 2, 0, 9, 'c', 'o', 'l', 'o', 'r', 'I', 'n', 'f', 'o', 3, 0, 0, 9};
const bytes opus_head = {0x90, 'O', 'p', 'u', 's', 'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, 0x38, 1, 0x80, 0xBB, 0, 0, 0, 0, 0};
const bytes opus_channels = {0x94, 'O', 'p', 'u', 's', 1, 2, 0, 0, 0, 3};
// One Multitrack Opus SequenceStart per track, as one track each.
bytes track_head(std::uint8_t track)
{
    bytes b(7 + opus_head.size() - 5);
    const std::uint8_t start[] = {0x95, 0x00, 'O', 'p', 'u', 's', track};
    std::copy(std::begin(start), std::end(start), b.begin());
    std::copy(opus_head.begin() + 5, opus_head.end(), b.begin() + 7);
    return b;
}
bytes ex_frame(std::uint8_t first, std::uint32_t seed, const char* fourcc)
{
    bytes b = tag_data(30, seed, first);
    std::copy(fourcc, fourcc + 4, b.begin() + 1);
    return b;
}
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
        {"extended headers: video SequenceStart and Metadata, audio SequenceStart and MultichannelConfig",
         {{VIDEO, 0, 0, av1_start}, {VIDEO, 0, 0, av1_color}, {AUDIO, 0, 0, opus_head}, {AUDIO, 0, 0, opus_channels},
          {VIDEO, 0, 0, ex_frame(0x91, 1, "av01")}, {AUDIO, 20, 0, ex_frame(0x91, 2, "Opus")},
          {AUDIO, 1500, 0, ex_frame(0x91, 3, "Opus")}, {VIDEO, 1510, 0, ex_frame(0x91, 4, "av01")}},
         false,
         {{VIDEO, 0, 0, av1_start}, {VIDEO, 0, 0, av1_color}, {AUDIO, 0, 0, opus_head}, {AUDIO, 0, 0, opus_channels},
          {AUDIO, 0, 0, ex_frame(0x91, 3, "Opus")}, {VIDEO, 10, 0, ex_frame(0x91, 4, "av01")}}},
        {"Multitrack: each track's SequenceStart, by track",
         {{AUDIO, 0, 0, track_head(2)}, {AUDIO, 0, 0, track_head(1)}, {AUDIO, 20, 0, ex_frame(0x91, 2, "Opus")},
          {AUDIO, 1500, 0, ex_frame(0x91, 3, "Opus")}},
         false,
         {{AUDIO, 0, 0, track_head(1)}, {AUDIO, 0, 0, track_head(2)}, {AUDIO, 0, 0, ex_frame(0x91, 3, "Opus")}}},
        {"extended headers in separate mode: the video ones",
         {{VIDEO, 0, 0, av1_start}, {VIDEO, 0, 0, av1_color}, {AUDIO, 0, 0, opus_head}, {AUDIO, 0, 0, opus_channels},
          {VIDEO, 0, 0, ex_frame(0x91, 1, "av01")}, {VIDEO, 1510, 0, ex_frame(0x91, 4, "av01")}},
         true,
         {{VIDEO, 0, 0, av1_start}, {VIDEO, 0, 0, av1_color}, {VIDEO, 0, 0, ex_frame(0x91, 4, "av01")}}},
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

// A slide that starts between keyframes and whose frames cannot be encoded
// again starts as cut, and one warning says how far its first keyframe lies.
TEST(CodecConfig, SlidesThatCannotStartOnAKeyframeSayHowFarItLies)
{
    const fs::path dir = make_scratch_dir("cannot_encode");
    const fs::path rec = dir / "rec.flv", cue = dir / "rec.cue";
    write_text(cue, "00:00:00:700\n");
    const auto frame = [](std::uint8_t first, std::uint32_t seed) {
        bytes b = tag_data(40, seed, first);
        b[1] = 1; // a coded frame, for the codecs that have packet types
        return b;
    };
    struct cannot_case {
        std::uint8_t codec;
        bool keyframe_later; // a keyframe at 1500, 500 ms after slide 1's start
        std::string reason;
    };
    const std::string later = "); it starts as cut, and players show its first picture 0.500 s after its start, at its "
                              "first keyframe\n";
    const std::string never = "); it starts as cut and holds no keyframe, so players may show no picture of it\n";
    const cannot_case cases[] = {
        {4, true, "its codec is not one this build encodes"},   // VP6
        {3, false, "its codec is not one this build encodes"},  // screen video
        {7, true, "a frame cannot be decoded: Invalid data found when processing input"}, // no H.264 at all
        {12, true, "a frame cannot be decoded: Invalid data found when processing input"}, // nor HEVC
    };
    for (const cannot_case& c : cases) {
        std::vector<test_tag> tags;
        for (std::uint32_t ts = 0; ts <= 2000; ts += 500) {
            const bool key = ts == 0 || (c.keyframe_later && ts == 1500);
            tags.push_back({VIDEO, ts, 0, frame(static_cast<std::uint8_t>((key ? 0x10 : 0x20) | c.codec), ts)});
        }
        write_file(rec, make_recording(tags));
        const split_outcome r = split_here(rec, cue, false);
        ASSERT_EQ(r.result.failure, split_failure::none) << int{c.codec};
        const bool encodes = c.codec == 7 ? can_reencode(picture_codec::h264) : can_reencode(picture_codec::hevc);
        // A build without the codec library, or where it cannot be loaded, says so.
        const std::string reason = (c.codec == 7 || c.codec == 12) && !encodes ? codec_library_fault() : c.reason;
        EXPECT_EQ(r.warnings.substr(r.warnings.find(':') + 1),
                  " " + rec.string() + ": slide 1 starts between keyframes and its frames cannot be encoded again (" +
                      reason + (c.keyframe_later ? later : never))
            << int{c.codec};
        EXPECT_EQ(parse_flv(read_file(dir / "rec_1.flv")).tags[0].data, tags[2].data) << int{c.codec} << ": as cut";
    }
    fs::remove_all(dir);
}

TEST(CarriedConfigs, ANewStartTakesThePlaceOfItsOwnTracksSequenceHeaderOnly)
{
    carried_configs keep;
    const config_id kept[] = {{config_kind::video, -1}, {config_kind::video_metadata, -1}, {config_kind::audio, -1},
                              {config_kind::video, 1}, {config_kind::audio_channels, 1}};
    for (const config_id id : kept)
        carried_of(keep, id).held = true;
    struct carried_case {
        const char* name;
        std::vector<int> new_video_tracks;
        bool with_audio;
        config_id first_tag;
        std::vector<int> expected; // indexes into kept, in the order written: by kind, then track
    };
    const carried_case cases[] = {
        {"no new start", {}, true, {}, {0, 3, 1, 2, 4}},
        {"a new start of the one-track video: its colorInfo stays", {-1}, true, {}, {3, 1, 2, 4}},
        {"a new start of track 1, separate mode", {1}, false, {}, {0, 1}},
        {"both tracks, and a slide that starts with the audio header", {-1, 1}, true, {config_kind::audio, -1}, {1, 4}},
    };
    for (const carried_case& c : cases) {
        std::vector<config_id> got;
        for (const carried_tag* tag : carried_for(keep, c.new_video_tracks, c.with_audio, c.first_tag))
            got.push_back(tag->id);
        ASSERT_EQ(got.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].kind, kept[c.expected[i]].kind) << c.name << ", " << i;
            EXPECT_EQ(got[i].track, kept[c.expected[i]].track) << c.name << ", " << i;
        }
    }
}

}  // namespace
