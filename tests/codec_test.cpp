// AudioSpecificConfig as ADTS sees it, the ADTS header itself, and what a
// video keyframe really is.
#include "codecs/aac.h"
#include "codecs/av1.h"
#include "codecs/avc.h"
#include "codecs/bit_reader.h"
#include "codecs/hevc.h"
#include "codecs/vp9.h"
#include "io/big_endian.h"
#include "flv/ex_header.h"
#include "flv/tag_kind.h"
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

// x265's own parameter sets (320x240) and the heads of its slices, all
// numbered 0, as Annex B.
const char* const x265_vps = "40010c01ffff01600000030090000003000003003cba0240";
const char* const x265_sps = "42010101600000030090000003000003003ca00a080f165ba4a4c2f0168080000003008000000c84";
const char* const x265_pps = "4401c073c189";

bytes annexb(std::initializer_list<const char*> units)
{
    bytes out;
    for (const char* unit : units) {
        out.insert(out.end(), {0, 0, 0, 1});
        const bytes b = hex(unit);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST(HevcRenumbering, IdsChangeAndTheBitsBehindThemMoveOneByteOn)
{
    const hevc_ids ids{3, 15, 17};
    struct unit_case {
        const char* name;
        const char* unit;
        std::size_t growth; // bytes: one for each id coded anew
        unsigned skip;      // bits before the first id
        std::vector<unsigned> ids; // read back, as Exp-Golomb codes
        bool four_bits = false;    // a VPS's id is 4 bits
    };
    const unit_case cases[] = {
        {"VPS", x265_vps, 0, 0, {3}, true},
        {"PPS: its id and its SPS's", x265_pps, 2, 0, {17, 15}},
        {"IDR slice", "2801ac5440bbef125533053a50688cc09a48a074e6aecf78a322a6a1734c67ae", 1, 2, {17}},
        {"CRA slice", "2a01afe8f518102f1627f1e28a1d96235ef09a07b770b80a37bf82b9c04331fd", 1, 2, {17}},
        {"trailing slice", "0201d009788222054dabb02e14a7bf4959da9da21c7b80de254c1fa721977a55", 1, 1, {17}},
        {"prefix SEI, no id", "4e0105ffffffffffffffffef2ca2de09b51747dbbb55a4fe", 0, 0, {}},
    };
    for (const unit_case& c : cases) {
        const bytes in = annexb({c.unit});
        const bytes out = hevc_frame(in.data(), in.size(), ids);
        const std::size_t unit_size = in.size() - 4;
        ASSERT_EQ(out.size(), 4 + unit_size + c.growth) << c.name;
        EXPECT_EQ(get_be(out.data(), 4), unit_size + c.growth) << c.name;
        // Past the ids, every byte is the recording's.
        EXPECT_TRUE(std::equal(in.begin() + 8, in.end(), out.begin() + 8 + static_cast<long>(c.growth))) << c.name;
        const std::vector<std::uint8_t> rbsp = nal_payload(out.data() + 4, out.size() - 4, 2);
        bit_reader bits{rbsp.data(), rbsp.size()};
        read_bits(bits, c.skip);
        for (const unsigned id : c.ids)
            EXPECT_EQ(c.four_bits ? read_bits(bits, 4) : read_ue(bits), id) << c.name;
        // A unit numbered otherwise than 0 is not the encoder's: not renumbered.
        if (c.growth > 0) {
            EXPECT_TRUE(hevc_frame(out.data(), out.size(), ids).empty()) << c.name << ", again";
        }
    }
}

TEST(HevcRenumbering, RecordsOfBothStreams)
{
    const bytes sets = annexb({x265_vps, x265_sps, x265_pps});
    const bytes recording = hevc_config_record(sets.data(), sets.size(), hevc_ids{}, {});
    hevc_ids ids;
    ASSERT_TRUE(hevc_unused_ids(recording, ids));
    EXPECT_EQ(ids.vps, 1u);
    EXPECT_EQ(ids.sps, 15u);
    EXPECT_EQ(ids.pps, 15u);
    const bytes both = hevc_config_record(sets.data(), sets.size(), ids, recording);
    // VPS, SPS and PPS arrays of two units each, the new one first, whose
    // SPS still reads.
    ASSERT_GT(both.size(), 23u);
    EXPECT_EQ(both[22], 3);
    std::size_t at = 23;
    for (unsigned type = 32; type <= 34 && at + 3 <= both.size(); ++type) {
        EXPECT_EQ(both[at] & 0x3F, type);
        EXPECT_EQ(get_be(both.data() + at + 1, 2), 2u) << type;
        at += 3;
        for (int n = 0; n < 2 && at + 2 <= both.size(); ++n)
            at += 2 + get_be(both.data() + at, 2);
    }
    EXPECT_EQ(at, both.size());
    unsigned width = 0, height = 0;
    EXPECT_TRUE(hevc_config_picture_size(both.data(), both.size(), width, height));
    EXPECT_EQ(width, 320u);
    EXPECT_EQ(height, 240u);
    // With the one SPS id one byte longer taken, none is left.
    EXPECT_FALSE(hevc_unused_ids(both, ids));
    const bytes no_pps = annexb({x265_vps, x265_sps});
    EXPECT_TRUE(hevc_config_record(no_pps.data(), no_pps.size(), ids, {}).empty());
}

}  // namespace

// What a keyframe is, from its units: length-prefixed NAL units (4 bytes),
// AV1 OBUs, a VP9 frame header; units cut short tell nothing.
TEST(RandomAccess, EachCodecsKeyframeKinds)
{
    const auto units = [](std::initializer_list<bytes> nals) {
        bytes out;
        for (const bytes& nal : nals) {
            append_be(out, nal.size(), 4);
            out.insert(out.end(), nal.begin(), nal.end());
        }
        return out;
    };
    const bytes sei_recovery_5 = {0x06, 0x06, 0x02, 0x30, 0x00, 0x80}; // recovery_frame_cnt 5
    const bytes idr = {0x65, 0x88, 0x84}, i_slice = {0x21, 0x88, 0x80}, p_slice = {0x21, 0x98, 0x80};
    enum codec { h264, hevc, av1, vp9 };
    struct access_case {
        const char* name;
        codec of;
        bytes frame;
        access_kind kind;
        unsigned recovery_frames;
    };
    const access_case cases[] = {
        {"H.264 IDR", h264, units({{0x09, 0xF0}, idr}), access_kind::clean, 0},
        {"H.264 I picture, no IDR", h264, units({i_slice}), access_kind::open, 0},
        {"H.264 recovery point on a P picture", h264, units({sei_recovery_5, p_slice}), access_kind::recovery, 5},
        {"H.264 P picture alone", h264, units({p_slice}), access_kind::none, 0},
        {"H.264 IDR cut short after its header", h264, bytes{0, 0, 0, 9, 0x65}, access_kind::clean, 0},
        {"H.264 length cut short", h264, bytes{0, 0, 0}, access_kind::unknown, 0},
        {"HEVC IDR_W_RADL", hevc, units({{0x40, 0x01, 0}, {0x26, 0x01, 0xAF}}), access_kind::clean, 0},
        {"HEVC BLA_N_LP", hevc, units({{0x24, 0x01, 0xAF}}), access_kind::clean, 0},
        {"HEVC CRA", hevc, units({{0x2A, 0x01, 0xAF}}), access_kind::open, 0},
        {"HEVC trailing picture", hevc, units({{0x02, 0x01, 0xAF}}), access_kind::none, 0},
        {"AV1 key frame shown", av1, {0x12, 0x00, 0x1A, 0x01, 0x10}, access_kind::clean, 0},
        {"AV1 forward key frame", av1, {0x1A, 0x01, 0x00}, access_kind::none, 0},
        {"AV1 inter frame", av1, {0x32, 0x01, 0x30}, access_kind::none, 0},
        {"AV1 frame header cut short", av1, {0x1A, 0x05, 0x10}, access_kind::unknown, 0},
        {"VP9 key frame", vp9, {0x82, 0x49, 0x83, 0x42}, access_kind::clean, 0},
        {"VP9 inter frame", vp9, {0x86, 0x00}, access_kind::none, 0},
        {"VP9 no frame marker", vp9, {0x02}, access_kind::unknown, 0},
    };
    for (const access_case& c : cases) {
        const random_access got = c.of == h264   ? avc_random_access(c.frame.data(), c.frame.size(), 4)
                                  : c.of == hevc ? hevc_random_access(c.frame.data(), c.frame.size(), 4)
                                  : c.of == av1  ? av1_random_access(c.frame.data(), c.frame.size())
                                                 : vp9_random_access(c.frame.data(), c.frame.size());
        EXPECT_EQ(static_cast<int>(got.kind), static_cast<int>(c.kind)) << c.name;
        EXPECT_EQ(got.recovery_frames, c.recovery_frames) << c.name;
    }
}

// A CRA made a BLA for a splice: every CRA unit's type, nothing else.
TEST(RandomAccess, CraBecomesBlaWithoutLeadingPictures)
{
    const bytes frame = {0, 0, 0, 3, 0x2A, 0x01, 0xAF, 0, 0, 0, 3, 0x2A, 0x01, 0x55};
    bytes expected = frame;
    expected[4] = expected[11] = 18 << 1; // BLA_N_LP
    EXPECT_EQ(hevc_cra_as_bla(frame.data(), frame.size(), 4), expected);
    const bytes idr = {0, 0, 0, 3, 0x26, 0x01, 0xAF};
    EXPECT_TRUE(hevc_cra_as_bla(idr.data(), idr.size(), 4).empty());
}
