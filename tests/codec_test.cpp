// AudioSpecificConfig as ADTS sees it, and the ADTS header itself.
#include "flv/codec.h"
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

}  // namespace
