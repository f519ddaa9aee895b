// Recordings that are not what they claim: the run never crashes, never
// writes a byte that is not in the recording, and says what it found.
#include "flv_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace fs = std::filesystem;

namespace {

struct bad_recording {
    const char* name;
    bytes recording;
    std::string warning; // the one warning expected, or "" for none
    const char* no_file_warning; // one more, in both modes, or "" for none
    // Size of talk_0.flv in combined and in separate mode, 0 where no slide
    // file is written.
    std::size_t slide_size[2];
};

bytes with_data_offset(bytes recording, std::uint32_t offset)
{
    const bytes header = flv_header(offset);
    std::copy(header.begin(), header.end(), recording.begin());
    return recording;
}

std::vector<bad_recording> bad_recordings()
{
    const std::vector<test_tag> tags = {{9, 0, 0, tag_data(30, 1)}, {9, 40, 0, tag_data(30, 2)}};
    bytes huge_size = make_recording({{9, 0, 0, tag_data(20, 3)}});
    huge_size[13 + 1] = 0xFF, huge_size[13 + 2] = 0xFF, huge_size[13 + 3] = 0xFF; // DataSize 16777215
    // Read from offset 0, the header and the two tags of zeros give six empty
    // tags of types 5, 0, 0, 0, 40 and 0 at timestamp 0, 15 bytes apart from
    // offset 4, and 9 bytes of a seventh header; separate mode drops them all,
    // combined mode writes no file for a slide without a frame, and both say so.
    const bytes zeros(30, 0);
    const bytes from_offset_0 = with_data_offset(make_recording({{9, 0, 0, zeros}, {9, 40, 0, zeros}}), 0);
    return {
        {"shorter than the FLV header", {'F', 'L', 'V'}, "inside the FLV header (3 of 9 bytes)", "", {0, 0}},
        {"DataOffset below 9", from_offset_0, "inside the tag header at byte offset 94",
         "slide 0 holds no audio or video frame", {0, 0}},
        {"DataOffset past the end", with_data_offset(make_recording(tags), 0x7FFFFFFF), "", "", {0, 0}},
        {"DataSize far past the end", huge_size, "inside the tag at byte offset 13", "",
         {13 + 11 + 20 + 4, 13 + 11 + 20 + 4}}, // all the bytes behind the header, no more
    };
}

TEST(BadInput, RecordingsThatAreNotWhatTheyClaim)
{
    for (const bad_recording& c : bad_recordings()) {
        for (const bool separate : {false, true}) {
            const std::string name = std::string(c.name) + (separate ? ", separate mode" : ", combined mode");
            const fs::path dir = make_scratch_dir("bad_input");
            const fs::path rec = dir / "talk.flv", cue = dir / "talk.cue";
            write_file(rec, c.recording);
            write_text(cue, "");
            const split_outcome r = split_here(rec, cue, separate);
            EXPECT_EQ(r.result.failure, split_failure::none) << name;
            if (c.warning.empty()) {
                EXPECT_EQ(r.warnings, "") << name;
            } else {
                const bool two = *c.no_file_warning != 0;
                EXPECT_NE(r.warnings.find(c.warning), std::string::npos) << name << ": " << r.warnings;
                EXPECT_TRUE(!two || r.warnings.find(c.no_file_warning) != std::string::npos) << name << ": " << r.warnings;
                EXPECT_EQ(std::count(r.warnings.begin(), r.warnings.end(), '\n'), two ? 2 : 1) << name << ": " << r.warnings;
            }

            // Whatever was written is framing plus bytes of the recording.
            std::size_t written = 0, files = 0;
            for (const auto& entry : fs::directory_iterator(dir))
                if (entry.path().filename().string().rfind("talk_", 0) == 0)
                    written += without_metadata(read_file(entry.path())).size() - 13, ++files;
            EXPECT_LE(written, c.recording.size() + 9) << name;
            const std::size_t slide_size = c.slide_size[separate ? 1 : 0];
            EXPECT_EQ(files, slide_size != 0 ? 1u : 0u) << name;
            if (slide_size != 0) {
                EXPECT_EQ(without_metadata(read_file(dir / "talk_0.flv")).size(), slide_size) << name;
            }
            fs::remove_all(dir);
        }
    }
}

// Files without the FLV signature whose header points at no whole tag are
// refused before anything is written, with what they look like.
TEST(BadInput, FilesThatAreNoRecordingAreRefused)
{
    const std::string html = "<html><body>this is no recording</body></html>\n";
    const std::string cues = "\xEF\xBB\xBF" "00:00:10:000\r\n00:00:20:000\r\n";
    bytes mp4 = {0, 0, 0, 0x20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 2, 0};
    bytes ts(3 * 188 + 10, 0xFF);
    ts[0] = ts[188] = ts[376] = 0x47;
    const struct {
        const char* name;
        bytes file;
        const char* looks_like;
    } cases[] = {
        {"MP4", mp4, "it looks like an MP4 or QuickTime file; ffmpeg makes an FLV of it: ffmpeg -i "},
        {"Matroska", {0x1A, 0x45, 0xDF, 0xA3, 0x9F, 0x42, 0x86, 0x81, 0x01, 0x42}, "a Matroska or WebM file"},
        {"MPEG-TS", ts, "an MPEG transport stream"},
        {"a cue file given first", bytes(cues.begin(), cues.end()), "a cue file, a text of cut times; the recording "
                                                                     "comes first"},
        {"a web page", bytes(html.begin(), html.end()), "it is a text file"},
        {"empty file", {}, "(0 bytes, shorter than an FLV header)"},
    };
    for (const auto& c : cases) {
        const fs::path dir = make_scratch_dir("refused");
        const fs::path rec = dir / "talk.flv", cue = dir / "talk.cue";
        write_file(rec, c.file);
        write_text(cue, "1\n");
        const split_outcome r = split_here(rec, cue, false);
        EXPECT_EQ(r.result.failure, split_failure::not_flv) << c.name;
        EXPECT_NE(r.result.detail.find(c.looks_like), std::string::npos) << c.name << ": " << r.result.detail;
        EXPECT_EQ(r.warnings, "") << c.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << c.name;
    }
}

TEST(BadInput, TimestampsPastTheLow24BitsStayInTheirSlide)
{
    const fs::path dir = make_scratch_dir("wrap");
    write_file(dir / "talk.flv", make_recording({{9, 0xFFFFF0, 0, tag_data(10, 4)}, {9, 0x10, 1, tag_data(10, 5)}}));
    write_text(dir / "talk.cue", "1\n");
    // 0xFFFFF0 passes the cue point and begins slide 1; 0x01000010 is 32 ms
    // after it, past the low 24 bits.
    ASSERT_EQ(split_here(dir / "talk.flv", dir / "talk.cue", false).result.failure, split_failure::none);
    const parsed_flv slide = parse_flv(read_file(dir / "talk_1.flv"));
    ASSERT_EQ(slide.tags.size(), 2u);
    EXPECT_EQ(full_ts(slide.tags[1]), 0x20u);
    fs::remove_all(dir);
}

// One keyframe at the start and 34 MiB of frames after it: the slide cut
// from their middle starts as cut, its frames not decoded.
TEST(BadInput, KeyframeFarBackStartsAsCut)
{
    const fs::path dir = make_scratch_dir("far_keyframe");
    std::vector<test_tag> tags = {{9, 0, 0, tag_data(100, 1, 0x12)}};
    for (std::uint32_t n = 1; n <= 34; ++n)
        tags.push_back({9, n * 1000, 0, tag_data(1 << 20, n, 0x22)});
    write_file(dir / "talk.flv", make_recording(tags));
    write_text(dir / "talk.cue", "33\n");
    const split_outcome r = split_here(dir / "talk.flv", dir / "talk.cue", false);
    EXPECT_EQ(r.result.failure, split_failure::none);
    EXPECT_NE(r.warnings.find("slide 1 starts between keyframes and its frames cannot be encoded again (its last "
                              "keyframe lies more than 32 MiB back)"),
              std::string::npos)
        << r.warnings;
    const parsed_flv slide = parse_flv(read_file(dir / "talk_1.flv"));
    ASSERT_EQ(slide.tags.size(), 1u);
    EXPECT_EQ(slide.tags[0].data, tags.back().data);
    fs::remove_all(dir);
}

// A keyframe whose first 4 KiB do not tell what kind of picture it is, and
// whose tag the recording ends inside: its kind is read from what there is,
// once, and the slide that holds it gets the bytes that are there.
TEST(BadInput, KeyframeCutShortPastItsFirstBytes)
{
    const fs::path dir = make_scratch_dir("short_keyframe");
    bytes unreadable(6000, 0); // units of length 0, no picture among them
    unreadable[0] = 0x17, unreadable[1] = 1;
    bytes recording = make_recording({{9, 0, 0, hex("17010000000000000141")},
                                      {9, 1000, 0, tag_data(20, 1, 0x27)},
                                      {9, 2000, 0, unreadable}});
    recording.resize(recording.size() - 1000);
    write_file(dir / "talk.flv", recording);
    write_text(dir / "talk.cue", "1\n");
    const split_outcome r = split_here(dir / "talk.flv", dir / "talk.cue", false);
    EXPECT_EQ(r.result.failure, split_failure::none);
    EXPECT_NE(r.warnings.find("ends inside the tag at byte offset"), std::string::npos) << r.warnings;
    const bytes slide = read_file(dir / "talk_1.flv");
    ASSERT_GE(slide.size(), 3000u);
    EXPECT_TRUE(std::equal(slide.end() - 3000, slide.end(), recording.end() - 3000));
    fs::remove_all(dir);
}

// An OpusHead that cannot start an Ogg Opus file: a warning naming its byte
// offset, and the packets go to .mp3 as raw payload, nothing invented.
TEST(BadInput, OpusHeadsThatCannotStartAFile)
{
    const bytes head = {0x90, 'O', 'p', 'u', 's', 'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 6, 0x38, 1,
                        0x80, 0xBB, 0, 0, 0, 0, 0}; // six channels, mapping family 0
    struct opus_case {
        const char* name;
        bytes sequence_start;
        const char* fault;
    };
    const opus_case cases[] = {
        {"six channels in mapping family 0", head, "an OpusHead whose channel mapping cannot hold its channel count"},
        {"cut short", bytes(head.begin(), head.begin() + 12), "no OpusHead"},
    };
    for (const opus_case& c : cases) {
        const fs::path dir = make_scratch_dir("opus_head");
        std::vector<test_tag> tags = {{8, 0, 0, c.sequence_start}};
        for (std::uint32_t t = 0; t < 200; t += 20)
            tags.push_back({8, t, 0, {0x91, 'O', 'p', 'u', 's', 0xFC, 0xAA, 0xBB}});
        write_file(dir / "talk.flv", make_recording(tags));
        write_text(dir / "talk.cue", "");
        const split_outcome r = split_here(dir / "talk.flv", dir / "talk.cue", true);
        EXPECT_EQ(r.result.failure, split_failure::none) << c.name;
        EXPECT_NE(r.warnings.find("the audio SequenceStart at byte offset 13 has " + std::string(c.fault)),
                  std::string::npos) << c.name << ": " << r.warnings;
        EXPECT_FALSE(fs::exists(dir / "talk_0.opus")) << c.name;
        // Each packet's payload as it stands (the FourCC and the packet), no more.
        EXPECT_EQ(read_file(dir / "talk_0.mp3").size(), 10u * 7) << c.name;
        fs::remove_all(dir);
    }
}

// Audio tags of several tracks in separate mode: the audio file holds the
// first track (lowest id) and one warning names the others; ModEx and track
// sizes past the tag give a warning naming the byte offset, and the tag is
// taken as raw payload.
TEST(BadInput, ExtendedAudioTracksAndSizes)
{
    const bytes head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, 0x38, 1, 0x80, 0xBB, 0, 0, 0, 0, 0};
    const auto two_tracks = [](std::uint8_t packet_type, const bytes& second, const bytes& first) {
        bytes b = {0x95, static_cast<std::uint8_t>(0x10 | packet_type), 'O', 'p', 'u', 's'};
        for (const auto& [id, data] : {std::pair<std::uint8_t, const bytes*>{2, &second}, {1, &first}}) {
            b.insert(b.end(), {id, 0, 0, static_cast<std::uint8_t>(data->size())});
            b.insert(b.end(), data->begin(), data->end());
        }
        return b;
    };
    const bytes packet_1 = {0xFC, 0x11, 0x11, 0x11, 0x11}, packet_2 = {0xFC, 0x22, 0x22, 0x22, 0x22};
    struct tracks_case {
        const char* name;
        std::vector<test_tag> tags;
        const char* warning;
        const char* file; // the audio file expected
    };
    const bytes modex_past = {0x97, 200, 0, 1};
    const bytes track_past = {0x95, 0x11, 'O', 'p', 'u', 's', 1, 0, 1, 0, 0xFC};
    const tracks_case cases[] = {
        {"two tracks: the first",
         {{8, 0, 0, two_tracks(0, head, head)}, {8, 0, 0, two_tracks(1, packet_2, packet_1)},
          {8, 20, 0, two_tracks(1, packet_2, packet_1)}},
         "holds 2 tracks; the audio slide files hold track 1, the first", "talk_0.opus"},
        {"ModEx size past the tag", {{8, 0, 0, modex_past}}, "at byte offset 13 has a ModEx or track size past its end",
         "talk_0.mp3"},
        {"track size past the tag", {{8, 0, 0, track_past}}, "at byte offset 13 has a ModEx or track size past its end",
         "talk_0.mp3"},
    };
    for (const tracks_case& c : cases) {
        const fs::path dir = make_scratch_dir("tracks");
        write_file(dir / "talk.flv", make_recording(c.tags));
        write_text(dir / "talk.cue", "");
        const split_outcome r = split_here(dir / "talk.flv", dir / "talk.cue", true);
        EXPECT_EQ(r.result.failure, split_failure::none) << c.name;
        EXPECT_NE(r.warnings.find(c.warning), std::string::npos) << c.name << ": " << r.warnings;
        const bytes file = read_file(dir / c.file);
        EXPECT_FALSE(file.empty()) << c.name;
        if (c.file == std::string("talk_0.opus")) {
            EXPECT_NE(std::search(file.begin(), file.end(), packet_1.begin(), packet_1.end()), file.end()) << c.name;
            EXPECT_EQ(std::search(file.begin(), file.end(), packet_2.begin(), packet_2.end()), file.end()) << c.name;
        }
        fs::remove_all(dir);
    }
}

TEST(BadInput, FolderGivenAsRecording)
{
    const fs::path dir = make_scratch_dir("folder_recording");
    fs::create_directory(dir / "talk.flv");
    write_text(dir / "talk.cue", "1\n");
    const split_outcome r = split_here(dir / "talk.flv", dir / "talk.cue", false);
    EXPECT_EQ(r.result.failure, split_failure::read_recording);
    EXPECT_EQ(r.result.error, EISDIR);
    EXPECT_FALSE(fs::exists(dir / "talk_0.flv"));
    fs::remove_all(dir);
}

}  // namespace

// Ogg Opus pages as a reader takes them apart: their packets, with each
// page's flags and granule position checked against the packets ending on it.
std::vector<bytes> ogg_packets(const bytes& file, std::string& fault)
{
    std::vector<bytes> packets;
    bytes partial;
    for (std::size_t pos = 0; pos < file.size() && fault.empty();) {
        if (pos + 27 > file.size() || !std::equal(file.begin() + pos, file.begin() + pos + 4, "OggS")) {
            fault = "no page at byte " + std::to_string(pos);
            break;
        }
        const bool continued = (file[pos + 5] & 1) != 0;
        std::uint64_t granule = 0;
        for (int i = 7; i >= 0; --i)
            granule = granule << 8 | file[pos + 6 + i];
        const std::size_t segments = file[pos + 26];
        std::size_t at = pos + 27 + segments;
        if (continued != !partial.empty())
            fault = "page at byte " + std::to_string(pos) + ": continued flag " + std::to_string(continued);
        bool ends = false;
        for (std::size_t i = 0; i < segments && at + file[pos + 27 + i] <= file.size(); ++i) {
            partial.insert(partial.end(), file.begin() + at, file.begin() + at + file[pos + 27 + i]);
            at += file[pos + 27 + i];
            if (file[pos + 27 + i] < 255) {
                packets.push_back(std::move(partial));
                partial.clear();
                ends = true;
            }
        }
        if (!ends && granule != ~std::uint64_t{0})
            fault = "page at byte " + std::to_string(pos) + " ends no packet but has a granule position";
        pos = at;
    }
    return packets;
}

// Opus packets of any size the tag can hold go on over as many pages as
// they need, and the page after each full one says it continues a packet.
TEST(BadInput, OpusPacketsLargerThanAPage)
{
    const bytes head = {0x90, 'O', 'p', 'u', 's', 'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, 0x38, 1,
                        0x80, 0xBB, 0, 0, 0, 0, 0};
    for (const std::size_t size : {std::size_t{255}, std::size_t{65024}, std::size_t{65025}, std::size_t{200000}}) {
        const fs::path dir = make_scratch_dir("opus_large");
        bytes packet = tag_data(size, 7, 0xFC);
        std::vector<test_tag> tags = {{8, 0, 0, head}};
        for (const bytes& p : {bytes{0xFC, 1, 2}, packet, bytes{0xFC, 3}}) {
            bytes data = {0x91, 'O', 'p', 'u', 's'};
            data.insert(data.end(), p.begin(), p.end());
            tags.push_back({8, static_cast<std::uint32_t>(20 * tags.size()), 0, data});
        }
        write_file(dir / "talk.flv", make_recording(tags));
        write_text(dir / "talk.cue", "");
        const split_outcome r = split_here(dir / "talk.flv", dir / "talk.cue", true);
        EXPECT_EQ(r.result.failure, split_failure::none) << size;
        std::string fault;
        const std::vector<bytes> packets = ogg_packets(read_file(dir / "talk_0.opus"), fault);
        EXPECT_EQ(fault, "") << size;
        ASSERT_EQ(packets.size(), 5u) << size; // OpusHead, OpusTags and the three
        EXPECT_EQ(packets[3], packet) << size;
        EXPECT_EQ(packets[4], (bytes{0xFC, 3})) << size;
        fs::remove_all(dir);
    }
}
