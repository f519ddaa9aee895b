// AudioSpecificConfig as ADTS sees it, and the ADTS header itself.
#include "flv/codec.h"
#include "flv/ex_header.h"
#include "flv_builder.h"

#include <gtest/gtest.h>

namespace {

TEST(AudioSpecificConfig, WhatAdtsCanCarry)
{
    struct asc_case {
        const char* name;
        bytes asc;
        unsigned object_type, frequency_index, channels;
        const char* unsupported_part; // nullptr: ADTS carries it
    };
    const asc_case cases[] = {
        {"LC 44.1 kHz stereo", {0x12, 0x10}, 2, 4, 2, nullptr},
        {"LC 48 kHz mono", {0x11, 0x88}, 2, 3, 1, nullptr},
        {"HE-AAC: its LC core at 24 kHz", {0x2B, 0x11, 0x88}, 2, 6, 2, nullptr},
        {"HE-AAC v2: its LC core, mono", {0xEB, 0x09, 0x88}, 2, 6, 1, nullptr},
        {"escaped object type 32", {0xF8, 0x01, 0x10}, 32, 4, 2, "object type"},
        {"explicit frequency", {0x17, 0x80, 0x00, 0x00, 0x00}, 2, 15, 0, "explicit sampling frequency"},
        {"reserved frequency index", {0x16, 0x90}, 2, 13, 2, "reserved sampling frequency"},
        {"channel configuration 0", {0x12, 0x00}, 2, 4, 0, "channel configuration 0"},
        {"one byte", {0x12}, 0, 0, 0, "shorter than 2 bytes"},
        {"HE-AAC cut short", {0x2B, 0x11}, 0, 6, 2, "cut short"},
    };
    for (const asc_case& c : cases) {
        const aac_config got = parse_audio_specific_config(c.asc.data(), c.asc.size());
        if (c.unsupported_part == nullptr) {
            EXPECT_EQ(got.unsupported, nullptr) << c.name << ": " << got.unsupported;
            EXPECT_EQ(got.object_type, c.object_type) << c.name;
            EXPECT_EQ(got.frequency_index, c.frequency_index) << c.name;
            EXPECT_EQ(got.channels, c.channels) << c.name;
        } else {
            ASSERT_NE(got.unsupported, nullptr) << c.name;
            EXPECT_NE(std::string(got.unsupported).find(c.unsupported_part), std::string::npos)
                << c.name << ": " << got.unsupported;
        }
    }
}

TEST(AdtsHeader, FieldsAndFrameLengths)
{
    struct adts_case {
        aac_config config;
        std::size_t payload;
        bytes header;
    };
    const adts_case cases[] = {
        {{2, 4, 2, nullptr}, 100, {0xFF, 0xF1, 0x50, 0x80, 0x0D, 0x7F, 0xFC}},  // LC 44.1 kHz stereo, 107 bytes
        {{1, 3, 1, nullptr}, 8184, {0xFF, 0xF1, 0x0C, 0x43, 0xFF, 0xFF, 0xFC}}, // Main 48 kHz mono, 8191 bytes
        {{4, 11, 7, nullptr}, 0, {0xFF, 0xF1, 0xED, 0xC0, 0x00, 0xFF, 0xFC}},   // LTP 8 kHz 7.1, header only
        {{3, 0, 3, nullptr}, 2041, {0xFF, 0xF1, 0x80, 0xC1, 0x00, 0x1F, 0xFC}}, // SSR 96 kHz, 2048 bytes
    };
    for (const adts_case& c : cases) {
        bytes header(ADTS_HEADER_SIZE);
        make_adts_header(c.config, c.payload, header.data());
        EXPECT_EQ(header, c.header) << c.payload;
    }
    EXPECT_TRUE(adts_frame_fits(8184));
    EXPECT_FALSE(adts_frame_fits(8185));
}

// The extended headers: ModEx looked through, Multitrack's first track.
TEST(ExtendedHeader, PacketTypeAndFirstTrack)
{
    struct ex_case {
        const char* name;
        std::uint8_t tag_type;
        bytes data;
        bool complete, past_tag;
        unsigned packet_type, tracks, track_id;
        std::uint32_t fourcc;
        std::size_t offset, size;
        bool keyframe; // video: a keyframe a decoder can start from
    };
    const std::uint32_t av01 = 0x61763031, opus = 0x4F707573;
    const ex_case cases[] = {
        {"coded frames", 9, {0x91, 'a', 'v', '0', '1', 7, 7}, true, false, 1, 1, 0, av01, 5, 2, true},
        {"ModEx (a timestamp offset), then coded frames", 9, {0xA7, 2, 0, 1, 2, 0x01, 'a', 'v', '0', '1', 7},
         true, false, 1, 1, 0, av01, 10, 1, false},
        {"ModEx size past the tag", 9, {0x97, 40, 0, 1}, false, true, 7, 0, 0, 0, 0, 0, false},
        {"one track", 8, {0x95, 0x01, 'O', 'p', 'u', 's', 3, 9, 9}, true, false, 1, 1, 3, opus, 7, 2, false},
        {"many tracks: the lowest id", 8, {0x95, 0x11, 'O', 'p', 'u', 's', 2, 0, 0, 1, 8, 1, 0, 0, 2, 9, 9},
         true, false, 1, 2, 1, opus, 15, 2, false},
        {"many tracks, many codecs", 9, {0x96, 0x21, 'a', 'v', 'c', '1', 4, 0, 0, 1, 5, 'a', 'v', '0', '1', 0, 0, 0, 1, 6},
         true, false, 1, 2, 0, av01, 19, 1, true},
        // (still a keyframe: frame type and packet type say so for all its tracks)
        {"a track size past the tag", 9, {0x96, 0x11, 'a', 'v', '0', '1', 0, 0, 0, 200, 1}, false, true, 1, 0, 0, av01,
         0, 0, true},
        {"a legacy header", 9, {0x17, 1, 0, 0, 0}, false, false, 0, 0, 0, 0, 0, 0, true},
    };
    for (const ex_case& c : cases) {
        const ex_packet p = parse_ex_packet(c.tag_type, c.data.data(), c.data.size(), c.data.size());
        EXPECT_EQ(p.complete, c.complete) << c.name;
        EXPECT_EQ(p.past_tag, c.past_tag) << c.name;
        EXPECT_EQ(p.packet_type, c.packet_type) << c.name;
        EXPECT_EQ(p.tracks, c.tracks) << c.name;
        EXPECT_EQ(p.track_id, c.track_id) << c.name;
        EXPECT_EQ(p.fourcc, c.fourcc) << c.name;
        EXPECT_EQ(p.data_offset, c.offset) << c.name;
        EXPECT_EQ(p.data_size, c.size) << c.name;
        if (c.tag_type == 9) {
            EXPECT_EQ(is_video_keyframe(c.data.data(), c.data.size()), c.keyframe) << c.name;
        }
    }
    // Only avc1, hvc1 and vvc1 coded frames carry a composition time.
    const bytes avc1_frame = {0x91, 'a', 'v', 'c', '1', 0xFF, 0xFF, 0xD8, 9};
    const bytes av01_frame = {0x91, 'a', 'v', '0', '1', 0xFF, 0xFF, 0xD8, 9};
    EXPECT_EQ(composition_time_ms(avc1_frame.data(), avc1_frame.size()), -40);
    EXPECT_EQ(composition_time_ms(av01_frame.data(), av01_frame.size()), 0);
}

}  // namespace
