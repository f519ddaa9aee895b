// Each slide's own onMetaData: the AMF0 writer, what the pictures tell, and
// the values computed for a slide of a recording built here.
#include "flv/amf.h"
#include "flv/tag_kind.h"
#include "slide_folder_test.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fs = std::filesystem;

namespace {

TEST(Amf0Writer, Encodings)
{
    struct amf_case {
        const char* name;
        void (*write)(amf_buffer&);
        const char* expected;
    };
    const amf_case cases[] = {
        {"number", [](amf_buffer& b) { amf_number(b, 1.5); }, "003ff8000000000000"},
        {"boolean", [](amf_buffer& b) { amf_boolean(b, true); }, "0101"},
        {"string", [](amf_buffer& b) { amf_string(b, "ab"); }, "0200026162"},
        {"date", [](amf_buffer& b) { amf_date(b, 1.0, -60); }, "0b3ff0000000000000ffc4"},
        {"strict array", [](amf_buffer& b) { amf_strict_array_start(b, 2), amf_number(b, 0), amf_boolean(b, false); },
         "0a000000020000000000000000000100"},
        {"object", [](amf_buffer& b) { amf_object_start(b), amf_key(b, "k"), amf_boolean(b, false), amf_object_end(b); },
         "0300016b0100000009"},
        {"ECMA array", [](amf_buffer& b) { amf_ecma_array_start(b, 1), amf_key(b, "x"), amf_number(b, 0), amf_object_end(b); },
         "0800000001000178000000000000000000000009"},
        {"end marker", [](amf_buffer& b) { amf_object_end(b); }, "000009"},
    };
    for (const amf_case& c : cases) {
        amf_buffer out;
        c.write(out);
        EXPECT_EQ(out, hex(c.expected)) << c.name;
    }
    amf_buffer out;
    amf_string(out, std::string(70000, 'x'));
    EXPECT_EQ(bytes(out.begin(), out.begin() + 5), hex("0c00011170")) << "long string";
    EXPECT_EQ(out.size(), 5u + 70000u);
}

// An hvcC record holding one SPS, behind a legacy or an extended header.
bytes hevc_header(const char* tag_head, const char* sps)
{
    bytes b = hex(tag_head);
    const bytes record_head = hex("01" "000000000000000000000000000000000000000000" "01" "a10001");
    const bytes nal = hex(sps);
    b.insert(b.end(), record_head.begin(), record_head.end());
    b.push_back(static_cast<std::uint8_t>(nal.size() >> 8)), b.push_back(static_cast<std::uint8_t>(nal.size()));
    b.insert(b.end(), nal.begin(), nal.end());
    return b;
}
// libx265's SPS for 640x360, and for 322x182 (coded 328x184, cropped)
const char* const sps_640 = "42010101600000030090000003000003003fa00502016965959a4932bc05a02000000300200000030321";
const char* const sps_322 = "42010101600000030090000003000003003ca00a480b9c9596566924caf0168080000003008000000c84";

TEST(PictureSize, FromSequenceHeadersAndKeyframes)
{
    struct picture_case {
        const char* name;
        bytes data;
        unsigned width, height; // 0: none told
    };
    auto avc = [](const char* record_head, const char* sps) {
        bytes b = hex("1700000000");
        const bytes head = hex(record_head), nal = hex(sps);
        b.insert(b.end(), head.begin(), head.end());
        b.insert(b.end(), nal.begin(), nal.end());
        return b;
    };
    const picture_case cases[] = {
        {"HEVC 640x360, legacy", hevc_header("1c00000000", sps_640), 640, 360},
        {"HEVC cropped to 322x182, hvc1 SequenceStart", hevc_header("9068766331", sps_322), 322, 182},
        {"HEVC SPS cut short", hevc_header("1c00000000", "420101016000000300900000"), 0, 0},
        {"H.264 high 320x240", avc("0164000dffe10019", "6764000dacd94141fb011000000300100000030320f1429960"), 320, 240},
        {"H.264 cropped to 318x238", avc("0164000dffe1001a", "6764000dacd94141feab011000000300100000030320f1429960"), 318, 238},
        {"H.264 176x144", avc("0164000bffe10018", "6764000bacd942c4ec0440000003004000000c83c50a6580"), 176, 144},
        {"H.264 record without SPS", hex("17000000000164000dffe000"), 0, 0},
        {"H.263 QCIF keyframe", hex("120000800180"), 176, 144},
        {"H.263 8-bit size", hex("1200008000643200"), 200, 100},
        {"H.263 16-bit size", hex("120000800081f4012c00"), 1000, 600},
        {"H.263 inter frame tells nothing", hex("220000800180"), 0, 0},
        {"screen video", hex("13f140f0b4"), 320, 180},
        // libaom's and libvpx's own headers for 320x240
        {"AV1 SequenceStart: av1C with its sequence header", hex("90617630318108" "0c00" "0a0b0000" "00043cffbcdaf9004032"),
         320, 240},
        {"AV1 keyframe with a sequence header", hex("9161763031" "0a0b000000043cffbcdaf9004032" "32"), 320, 240},
        {"AV1 inter frame tells nothing", hex("a161763031" "0a0b000000043cffbcdaf9004032"), 0, 0},
        {"VP9 keyframe", hex("9176703039" "824983420013f00ef606"), 320, 240},
        {"VP9 inter frame tells nothing", hex("a176703039" "864983420013f00ef606"), 0, 0},
    };
    for (const picture_case& c : cases) {
        picture_size picture;
        const bool told = picture_size_of(c.data.data(), c.data.size(), picture);
        EXPECT_EQ(told, c.width != 0) << c.name;
        if (told) {
            EXPECT_EQ(picture.width, c.width) << c.name;
            EXPECT_EQ(picture.height, c.height) << c.name;
        }
    }
}

// The value of a number field of an onMetaData, read by its key.
double meta_number(const bytes& metadata, const std::string& key)
{
    bytes pattern = {0, static_cast<std::uint8_t>(key.size())};
    pattern.insert(pattern.end(), key.begin(), key.end());
    pattern.push_back(0);
    const auto at = std::search(metadata.begin(), metadata.end(), pattern.begin(), pattern.end());
    if (at == metadata.end() || metadata.end() - at < static_cast<long>(pattern.size() + 8))
        return NAN;
    std::uint64_t bits = 0;
    for (auto p = at + static_cast<long>(pattern.size()); p != at + static_cast<long>(pattern.size() + 8); ++p)
        bits = bits << 8 | *p;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

bool has_bytes(const bytes& metadata, const bytes& part)
{
    return std::search(metadata.begin(), metadata.end(), part.begin(), part.end()) != metadata.end();
}

bool has_text(const bytes& metadata, const std::string& text)
{
    return has_bytes(metadata, bytes(text.begin(), text.end()));
}

// A recording's onMetaData with a size, an encoder, a key of the
// publisher's own and a keyframe index of the whole recording.
bytes recording_meta(const std::string& tail = "")
{
    amf_buffer b;
    amf_string(b, "onMetaData");
    amf_ecma_array_start(b, 5);
    amf_key(b, "width"), amf_number(b, 640);
    amf_key(b, "height"), amf_number(b, 360);
    amf_key(b, "duration"), amf_number(b, 999);
    amf_key(b, "encoder"), amf_string(b, "test encoder");
    amf_key(b, "keyframes"), amf_object_start(b), amf_key(b, "times"), amf_strict_array_start(b, 1), amf_number(b, 77);
    amf_object_end(b);
    amf_key(b, "publisher_key"), amf_boolean(b, true);
    b.insert(b.end(), tail.begin(), tail.end());
    if (tail.empty())
        amf_object_end(b);
    return b;
}

// Video every 40 ms with a keyframe each second, MP3 audio every 26 ms.
std::vector<test_tag> talk(const bytes& meta, std::uint32_t until, std::size_t video_size = 100)
{
    std::vector<test_tag> tags = {{18, 0, 0, meta}};
    for (std::uint32_t a = 0, v = 0; a <= until || v <= until;) {
        if (v <= a) {
            tags.push_back({9, v, 0, tag_data(video_size + v % 17, v, v % 1000 == 0 ? 0x12 : 0x22)});
            v += 40;
        } else {
            tags.push_back({8, a, 0, tag_data(50, a, 0x2E)});
            a += 26;
        }
    }
    return tags;
}

// What a slide's tags add up to, counted from the file: the sizes of its
// video and audio tags and where its keyframes lie.
struct slide_sums {
    std::size_t video = 0, audio = 0;
    std::vector<double> keyframes;
    amf_buffer keyframes_index() const
    {
        amf_buffer index;
        amf_key(index, "filepositions"), amf_strict_array_start(index, static_cast<std::uint32_t>(keyframes.size()));
        for (double p : keyframes)
            amf_number(index, p);
        return index;
    }
};
slide_sums sums_of(const parsed_flv& slide)
{
    slide_sums sums;
    std::size_t pos = 13 + 11 + slide.metadata.size() + 4;
    for (const test_tag& t : slide.tags) {
        (t.type == 9 ? sums.video : sums.audio) += 11 + t.data.size();
        if (t.type == 9 && (t.data[0] >> 4) == 1)
            sums.keyframes.push_back(static_cast<double>(pos));
        pos += 11 + t.data.size() + 4;
    }
    return sums;
}

class SlideMetadata : public slide_folder_test {};

TEST_F(SlideMetadata, ComputedFromTheSlidesOwnTags)
{
    const auto tags = talk(recording_meta(), 4000);
    for (const bool separate : {false, true}) {
        ASSERT_EQ(cut(make_recording(tags), "00:00:01:999", separate).warnings, "");
        const bytes file = read_file(slide_path(1));
        const parsed_flv slide = parse_flv(file);
        ASSERT_FALSE(slide.metadata.empty()) << separate;
        const bytes& m = slide.metadata;
        // Slide 1 runs from the keyframe at 2000.
        const std::uint32_t base = 2000;
        EXPECT_EQ(meta_number(m, "filesize"), static_cast<double>(file.size())) << separate;
        EXPECT_EQ(meta_number(m, "width"), 640) << "the recording's own word";
        EXPECT_EQ(meta_number(m, "lasttimestamp"), (full_ts(tags.back()) - base) / 1000.0) << separate;
        const slide_sums sums = sums_of(slide);
        EXPECT_EQ(meta_number(m, "videosize"), static_cast<double>(sums.video)) << separate;
        EXPECT_EQ(std::isnan(meta_number(m, "audiosize")), separate) << "audio fields only with audio";
        if (!separate) {
            EXPECT_EQ(meta_number(m, "audiosize"), static_cast<double>(sums.audio));
            EXPECT_EQ(meta_number(m, "duration"), (full_ts(tags.back()) - base + 26) / 1000.0) << "plus an audio frame";
        }
        ASSERT_EQ(sums.keyframes.size(), 3u) << "the keyframes at 2000, 3000 and 4000";
        EXPECT_TRUE(has_bytes(m, sums.keyframes_index())) << separate;
        EXPECT_TRUE(has_text(m, "test encoder") && has_text(m, "publisher_key")) << "other fields carried";
        EXPECT_TRUE(has_text(m, "slidecut " SLIDECUT_VERSION));
        EXPECT_NE(meta_number(m, "duration"), 999);
        amf_buffer old_index;
        amf_number(old_index, 77);
        EXPECT_FALSE(has_bytes(m, old_index)) << "the recording's index left out";
        for (int n = 0; n < 2; ++n)
            for (const test_tag& t : parse_flv(read_file(slide_path(n))).tags)
                EXPECT_NE(t.type, 18) << "the recording's onMetaData is not copied";
    }
}

// Slides read once for the look-ahead and the copy where they fit the
// walk's buffer (4 MiB), and partly read again where they do not: slide 1
// is larger than it, slide 3 about as large, slides 0 and 2 far smaller.
TEST_F(SlideMetadata, SlidesLargerThanTheWalksBuffer)
{
    const auto tags = talk(recording_meta(), 14000, 30000);
    const std::uint32_t cue_ms[] = {1999, 7999, 8999};
    for (const bool separate : {false, true}) {
        ASSERT_EQ(cut(make_recording(tags), "00:00:01:999\n00:00:07:999\n00:00:08:999\n", separate).warnings, "");
        for (int n = 0; n < 4; ++n) {
            // The recording's tags of slide n that its .flv file holds.
            std::vector<test_tag> expected;
            for (std::size_t i = 1; i < tags.size(); ++i) {
                const int slide_of_tag = static_cast<int>(std::count_if(
                    std::begin(cue_ms), std::end(cue_ms), [&](std::uint32_t cue) { return full_ts(tags[i]) > cue; }));
                if (slide_of_tag == n && (!separate || tags[i].type == 9))
                    expected.push_back(tags[i]);
            }
            const bytes file = read_file(slide_path(n));
            const parsed_flv slide = parse_flv(file);
            const slide_sums sums = sums_of(slide);
            const std::string name = std::to_string(n) + (separate ? " separate" : " combined");
            EXPECT_EQ(meta_number(slide.metadata, "filesize"), static_cast<double>(file.size())) << name;
            EXPECT_EQ(meta_number(slide.metadata, "videosize"), static_cast<double>(sums.video)) << name;
            EXPECT_TRUE(has_bytes(slide.metadata, sums.keyframes_index())) << name;
            ASSERT_EQ(slide.tags.size(), expected.size()) << name;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(slide.tags[i].data, expected[i].data) << name << " tag " << i;
                EXPECT_EQ(full_ts(slide.tags[i]), full_ts(expected[i]) - full_ts(expected[0])) << name << " tag " << i;
            }
        }
    }
}

// Legacy HEVC: the picture size comes from the SPS of the sequence header
// a slide carries.
TEST_F(SlideMetadata, HevcPictureSizeFromItsSequenceHeader)
{
    std::vector<test_tag> tags = {{9, 0, 0, hevc_header("1c00000000", sps_640)}};
    for (std::uint32_t t = 0; t <= 2000; t += 40)
        tags.push_back({9, t, 0, tag_data(60, t, t % 1000 == 0 ? 0x1C : 0x2C)});
    for (test_tag& t : tags)
        if (t.data.size() == 60)
            t.data[1] = 1; // NALUs
    ASSERT_EQ(cut(make_recording(tags), "00:00:00:999").warnings, "");
    for (int n = 0; n < 2; ++n) {
        const bytes m = parse_flv(read_file(slide_path(n))).metadata;
        EXPECT_EQ(meta_number(m, "width"), 640) << n;
        EXPECT_EQ(meta_number(m, "height"), 360) << n;
        EXPECT_EQ(meta_number(m, "videocodecid"), 12) << n;
    }
}

TEST_F(SlideMetadata, MalformedRecordingMetadata)
{
    amf_buffer deep;
    for (int i = 0; i < 40; ++i)
        amf_strict_array_start(deep, 1);
    struct bad_meta {
        const char* name;
        std::string tail; // after the readable fields
    };
    const bad_meta cases[] = {
        {"truncated value", std::string("\x00\x03""abc\x00\x40", 7)},
        {"unknown type", std::string("\x00\x03""abc\x11", 6)},
        {"absurd count", std::string("\x00\x03""abc\x0a\xff\xff\xff\xff\x01\x01", 12)},
        {"deep nesting", std::string("\x00\x03""abc", 5) + std::string(deep.begin(), deep.end())},
    };
    for (const bad_meta& c : cases) {
        const split_outcome r = cut(make_recording(talk(recording_meta(c.tail), 500)), "");
        EXPECT_EQ(r.result.failure, split_failure::none) << c.name;
        EXPECT_NE(r.warnings.find("the onMetaData at byte offset 13 cannot be read to its end"), std::string::npos)
            << c.name << ": " << r.warnings;
        EXPECT_EQ(r.warnings.find('\n'), r.warnings.size() - 1) << c.name << ": one warning";
        const bytes m = parse_flv(read_file(slide_path(0))).metadata;
        EXPECT_TRUE(has_text(m, "publisher_key")) << c.name << ": fields before the fault carried";
        EXPECT_FALSE(has_text(m, "abc")) << c.name << ": the faulty field not carried";
        EXPECT_FALSE(std::isnan(meta_number(m, "filesize"))) << c.name;
    }
}

// A million keyframes in one slide need more than the 16 MiB a tag holds.
TEST_F(SlideMetadata, KeyframeIndexTooLargeIsLeftOut)
{
    std::vector<test_tag> tags;
    for (std::uint32_t t = 0; t < 1000000; ++t)
        tags.push_back({9, t, 0, {0x12}});
    const split_outcome r = cut(make_recording(tags), "");
    EXPECT_NE(r.warnings.find("slide 0 has 1000000 keyframes"), std::string::npos) << r.warnings;
    const parsed_flv slide = parse_flv(read_file(slide_path(0)));
    EXPECT_EQ(slide.tags.size(), tags.size());
    EXPECT_FALSE(has_text(slide.metadata, "filepositions"));
    EXPECT_EQ(meta_number(slide.metadata, "filesize"), static_cast<double>(fs::file_size(slide_path(0))));
}

}  // namespace

namespace {

// Behind extended headers: the codec ids are the FourCCs' numbers, the
// audio facts come from the codec's configuration (or are left out), and
// the keyframes are found.
TEST_F(SlideMetadata, ExtendedHeadersTellTheirOwnFacts)
{
    const bytes av1_start = {0x90, 'a', 'v', '0', '1', 0x81, 0x08, 0x0C, 0x00};
    const bytes opus_head = {0x90, 'O', 'p', 'u', 's', 'O', 'p', 'u', 's', 'H', 'e', 'a', 'd',
                             1, 2, 0x38, 1, 0x80, 0xBB, 0, 0, 0, 0, 0};
    // STREAMINFO behind its block header: 44.1 kHz, 2 channels, 16 bits.
    const bytes flac_info = {0x90, 'f', 'L', 'a', 'C', 0x80, 0, 0, 34, 0x10, 0, 0x10, 0, 0, 0, 0, 0, 0, 0,
                             0x0A, 0xC4, 0x42, 0xF0, 0, 0, 0, 0};
    struct facts_case {
        const char* name;
        bytes audio_config;
        double codec_id, rate, size, stereo; // NAN: left out
    };
    const facts_case cases[] = {
        {"Opus", opus_head, 1332770163, 48000, NAN, 1},
        {"FLAC", flac_info, 1716281667, 44100, 16, 1},
        {"an unknown FourCC", {0x90, 'x', 'y', 'z', 'w', 1, 2, 3}, 2021227127, NAN, NAN, NAN},
    };
    for (const facts_case& c : cases) {
        std::vector<test_tag> tags = {{9, 0, 0, av1_start}, {8, 0, 0, c.audio_config}};
        for (std::uint32_t t = 0; t <= 3000; t += 20) {
            bytes frame = tag_data(40, t, t % 1000 == 0 ? 0x91 : 0xA1); // CodedFrames, key or inter
            std::copy(av1_start.begin() + 1, av1_start.begin() + 5, frame.begin() + 1);
            if (t % 40 == 0)
                tags.push_back({9, t, 0, frame});
            bytes sound = tag_data(30, t + 1, 0x91);
            std::copy(c.audio_config.begin() + 1, c.audio_config.begin() + 5, sound.begin() + 1);
            tags.push_back({8, t, 0, sound});
        }
        ASSERT_EQ(cut(make_recording(tags), "00:00:01:999", false).warnings, "") << c.name;
        const bytes m = parse_flv(read_file(slide_path(1))).metadata;
        EXPECT_EQ(meta_number(m, "videocodecid"), 1635135537) << c.name;
        EXPECT_EQ(meta_number(m, "audiocodecid"), c.codec_id) << c.name;
        for (const auto& [key, expected] : {std::pair{"audiosamplerate", c.rate}, {"audiosamplesize", c.size}}) {
            if (std::isnan(expected)) {
                EXPECT_TRUE(std::isnan(meta_number(m, key))) << c.name << " " << key;
            } else {
                EXPECT_EQ(meta_number(m, key), expected) << c.name << " " << key;
            }
        }
        EXPECT_EQ(has_bytes(m, {0, 6, 's', 't', 'e', 'r', 'e', 'o', 1, 1}), c.stereo == 1) << c.name;
        // Slide 1 begins at 2000, a keyframe, carried headers before it.
        EXPECT_TRUE(has_bytes(m, {0, 12, 'h', 'a', 's', 'K', 'e', 'y', 'f', 'r', 'a', 'm', 'e', 's', 1, 1})) << c.name;
        EXPECT_EQ(meta_number(m, "lastkeyframetimestamp"), 1.0) << c.name;
    }
}

}  // namespace

// hasVideo and hasAudio say whether the slide holds frames of that kind:
// web players wait for each track they announce. Sequence headers carried
// into a slide that has no frames of their kind do not count.
TEST_F(SlideMetadata, HasVideoAndHasAudioAsTheSlideHoldsFrames)
{
    const bytes avc_header = {0x17, 0, 0, 0, 0, 1, 0x42, 0, 0x1E, 0xFF, 0xE0, 0};
    const bytes aac_config = {0xAF, 0, 0x12, 0x10};
    struct holds_case {
        const char* name;
        std::uint32_t video_until, audio_until; // frames every 40 ms up to these
        bool has_video, has_audio;              // of slide 1, from 1500 ms on
    };
    const holds_case cases[] = {
        {"video stops before the cut", 1000, 3000, false, true},
        {"audio stops before the cut", 3000, 1000, true, false},
        {"both go on", 3000, 3000, true, true},
    };
    const auto flag = [](const std::string& key, bool value) {
        bytes b = {0, static_cast<std::uint8_t>(key.size())};
        b.insert(b.end(), key.begin(), key.end());
        b.insert(b.end(), {1, static_cast<std::uint8_t>(value)});
        return b;
    };
    for (const holds_case& c : cases) {
        std::vector<test_tag> tags = {{9, 0, 0, avc_header}, {8, 0, 0, aac_config}};
        for (std::uint32_t t = 0; t <= 3000; t += 40) {
            if (t <= c.video_until)
                tags.push_back({9, t, 0, tag_data(30, t, t == 0 ? 0x17 : 0x27)});
            if (t <= c.audio_until)
                tags.push_back({8, t, 0, tag_data(20, t, 0xAF)});
        }
        for (std::size_t i = 2; i < tags.size(); ++i)
            tags[i].data[1] = 1; // coded frames, not configurations
        ASSERT_EQ(cut(make_recording(tags), "00:00:01:500", false).result.failure, split_failure::none) << c.name;
        const bytes m = parse_flv(read_file(slide_path(1))).metadata;
        EXPECT_TRUE(has_bytes(m, flag("hasVideo", c.has_video))) << c.name;
        EXPECT_TRUE(has_bytes(m, flag("hasAudio", c.has_audio))) << c.name;
    }
}
