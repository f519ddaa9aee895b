// Recordings of real encoders, edited the way some streams are:
//   resend_header IN OUT MS  the most recent video sequence header sent again,
//                            at MS + 1, before the first tag after MS;
//   resend_huge_header IN OUT MS  the same, its avcC grown to all but 16 bytes
//                            of the 16 MiB a tag holds: 254 copies of its PPS
//                            and one more of its SPS, behind zero bytes (which
//                            the parameter sets' parsers pass over);
//   delay IN OUT MS          every frame MS later, script data and sequence
//                            headers left at their times, as a stream whose
//                            first frame comes late;
//   audio FOURCC IN OUT      the packets of an Ogg Opus or Ogg FLAC file, or
//                            the frames of a raw AC-3, E-AC-3 or ADTS file, in tags
//                            behind the extended audio header (SequenceStart,
//                            MultichannelConfig for Opus, CodedFrames), as
//                            today's encoders write them; for Opus, prints
//                            the samples the packets hold and the pre-skip;
//   to_avc1 IN OUT 0         legacy H.264 tags behind the extended header as
//                            avc1 (SequenceStart, CodedFrames);
//   to_legacy IN OUT TRACK   and back, for players that read only the legacy one:
//                            TRACK 0 the tags of one track, others the Multitrack
//                            tags of that track id;
//   tracks IN IN2 OUT        the avc1 video of IN2 beside IN's, as Multitrack
//                            tags of one track, id 1, as encoders write a
//                            second rendition;
//   av1 IN.ivf OUT 0         AV1 frames of an IVF file alone, as below;
//   vp9 IN.ivf OUT 0         VP9 frames of an IVF file behind the extended
//                            header (a vpcC SequenceStart, CodedFrames);
//   to_ivf IN OUT 0          and back: a slide's av01 or vp09 tags as an IVF
//                            file for ffmpeg, each AV1 sequence header sent
//                            before the frame after it;
//   hevc IN.hevc OUT FORM [TIMES]  HEVC access units of an Annex B file, at
//                            25 fps without B-frames or at TIMES (a line of
//                            "dts pts" in ms per frame, in decode order), as
//                            legacy tags (FORM legacy: CodecID 12) or behind
//                            the extended header (hvc1), the parameter sets
//                            of the first in an hvcC record;
//   to_annexb IN OUT HEADERS and back: a slide's HEVC tags as an Annex B file,
//                            with the parameter sets of the first sequence
//                            header only (HEADERS first, as a player that does
//                            not follow a new one) or of each before the frame
//                            after it (all);
//   av1_opus IN.ivf IN.opus OUT  AV1 frames of an IVF file behind the extended
//                            video header (SequenceStart with an av1C record,
//                            CodedFrames) beside Opus audio, as FFmpeg 8 writes
//                            them, less the MultichannelConfig.
#include "codecs/bit_reader.h"
#include "flv/flv_format.h"
#include "flv_builder.h"
#include "codecs/opus.h"

#include <algorithm>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool is_sequence_header(const test_tag& tag)
{
    if (tag.data.size() < 2)
        return false;
    const bool avc = tag.type == 9 && (tag.data[0] & 0x0F) == 7;
    const bool aac = tag.type == 8 && (tag.data[0] >> 4) == 10;
    return (avc || aac) && tag.data[1] == 0;
}

// The packets of an Ogg stream, laced across pages.
std::vector<bytes> ogg_packets(const bytes& file)
{
    std::vector<bytes> packets;
    bytes packet;
    for (std::size_t pos = 0; pos + 27 <= file.size();) {
        const std::size_t segments = file[pos + 26];
        std::size_t body = pos + 27 + segments;
        for (std::size_t i = 0; i < segments && body <= file.size(); ++i) {
            const std::size_t lace = file[pos + 27 + i];
            packet.insert(packet.end(), file.begin() + static_cast<long>(body),
                          file.begin() + static_cast<long>(std::min(body + lace, file.size())));
            body += lace;
            if (lace < 255)
                packets.push_back(std::move(packet)), packet.clear();
        }
        pos = body;
    }
    return packets;
}

// The syncframes of a raw AC-3 (48 kHz) or E-AC-3 file.
std::vector<bytes> dolby_frames(const bytes& file)
{
    static const unsigned kbit[19] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
    std::vector<bytes> frames;
    for (std::size_t pos = 0; pos + 6 <= file.size() && file[pos] == 0x0B && file[pos + 1] == 0x77;) {
        const unsigned bsid = file[pos + 5] >> 3;
        const std::size_t size = bsid > 10 ? ((std::size_t{file[pos + 2]} & 7) << 8 | file[pos + 3]) * 2 + 2
                                           : std::size_t{kbit[(file[pos + 4] & 0x3F) / 2 % 19]} * 4;
        if (pos + size > file.size())
            break;
        frames.emplace_back(file.begin() + static_cast<long>(pos), file.begin() + static_cast<long>(pos + size));
        pos += size;
    }
    return frames;
}

// The raw frames of an ADTS file (7-byte headers, no CRC), behind the
// AudioSpecificConfig its first header tells.
std::vector<bytes> adts_frames(const bytes& file)
{
    std::vector<bytes> frames;
    for (std::size_t pos = 0; pos + 7 <= file.size() && file[pos] == 0xFF && (file[pos + 1] & 0xF6) == 0xF0;) {
        const std::size_t size = (std::size_t{file[pos + 3]} & 3) << 11 | std::size_t{file[pos + 4]} << 3 | file[pos + 5] >> 5;
        if (size < 7 || pos + size > file.size())
            break;
        if (frames.empty()) {
            const unsigned object = (file[pos + 2] >> 6) + 1, rate = (file[pos + 2] >> 2) & 15;
            const unsigned channels = (file[pos + 2] & 1) << 2 | file[pos + 3] >> 6;
            frames.push_back({static_cast<std::uint8_t>(object << 3 | rate >> 1),
                              static_cast<std::uint8_t>((rate & 1) << 7 | channels << 3)});
        }
        frames.emplace_back(file.begin() + static_cast<long>(pos + 7), file.begin() + static_cast<long>(pos + size));
        pos += size;
    }
    return frames;
}

int audio_recording(const std::string& name, const char* in, const char* out)
{
    const bytes file = read_file(in);
    const bool ogg = name == "Opus" || name == "fLaC";
    std::vector<bytes> packets = ogg ? ogg_packets(file) : name == "mp4a" ? adts_frames(file) : dolby_frames(file);
    if (packets.size() < 3 || name.size() != 4)
        return 1;
    const auto ex = [&name](std::uint8_t packet_type, const bytes& data) {
        bytes tag(5 + data.size());
        tag[0] = static_cast<std::uint8_t>(0x90 | packet_type);
        std::copy(name.begin(), name.end(), tag.begin() + 1);
        std::copy(data.begin(), data.end(), tag.begin() + 5);
        return tag;
    };
    std::vector<test_tag> tags;
    std::size_t first_frame = 0;
    unsigned frame_samples = 1536, pre_skip = 0;
    if (name == "Opus") {
        const bytes& head = packets[0];
        tags = {{8, 0, 0, ex(0, head)}, {8, 0, 0, ex(4, {1, head[9], 0, 0, 0, 3})}};
        first_frame = 2;
        pre_skip = head[10] | head[11] << 8;
    } else if (name == "fLaC") {
        // 0x7F "FLAC", version, header count, "fLaC", then the STREAMINFO block.
        const bytes& first = packets[0];
        if (first.size() < 13 + 38)
            return 1;
        tags = {{8, 0, 0, ex(0, bytes(first.begin() + 13, first.begin() + 13 + 38))}};
        first_frame = 1 + (std::size_t{first[7]} << 8 | first[8]);
        frame_samples = std::uint32_t{first[17]} << 8 | first[18];
    } else if (name == "mp4a") {
        tags = {{8, 0, 0, ex(0, packets[0])}}; // the AudioSpecificConfig
        first_frame = 1;
        frame_samples = 1024;
    }
    std::uint64_t samples = 0;
    for (std::size_t i = first_frame; i < packets.size(); ++i) {
        const auto ms = static_cast<std::uint32_t>(samples / 48);
        tags.push_back({8, ms & 0xFFFFFF, static_cast<std::uint8_t>(ms >> 24), ex(1, packets[i])});
        samples += name == "Opus" ? opus_packet_samples(packets[i].data(), packets[i].size()) : frame_samples;
    }
    write_file(out, make_recording(tags));
    if (name == "Opus")
        std::printf("samples %llu pre_skip %u\n", static_cast<unsigned long long>(samples), pre_skip);
    return 0;
}

// An av1C record of a sequence header OBU: profile, level and 8-bit 4:2:0
// from its first fields (no timing info, as libaom writes it), then the OBU.
bytes av1_config(const bytes& obu, std::size_t payload)
{
    bit_reader in{obu.data() + payload, obu.size() - payload};
    const unsigned profile = read_bits(in, 3);
    read_bits(in, 1); // still_picture
    unsigned level = 8;
    if (read_bits(in, 1) == 0 && read_bits(in, 1) == 0) { // full header, no timing info
        read_bits(in, 1);  // initial_display_delay_present
        read_bits(in, 5);  // operating_points_cnt_minus_1
        read_bits(in, 12); // operating_point_idc
        level = read_bits(in, 5);
    }
    bytes record = {0x81, static_cast<std::uint8_t>(profile << 5 | level), 0x0C, 0x00};
    record.insert(record.end(), obu.begin(), obu.end());
    return record;
}

// The frames of an IVF file as FLV video tags behind the extended header,
// temporal delimiters left out; a frame with a sequence header is a keyframe.
std::vector<test_tag> av1_tags(const bytes& ivf)
{
    if (ivf.size() < 32)
        return {};
    const std::uint32_t rate = ivf[16] | ivf[17] << 8 | ivf[18] << 16, scale = ivf[20] | ivf[21] << 8 | ivf[22] << 16;
    std::vector<test_tag> tags;
    for (std::size_t pos = 32; pos + 12 <= ivf.size();) {
        const std::size_t size = ivf[pos] | ivf[pos + 1] << 8 | ivf[pos + 2] << 16;
        const std::uint64_t pts = ivf[pos + 4] | ivf[pos + 5] << 8 | ivf[pos + 6] << 16;
        const std::size_t end = std::min(pos + 12 + size, ivf.size());
        bytes frame = {0xA1, 'a', 'v', '0', '1'};
        bool key = false;
        for (std::size_t at = pos + 12; at + 2 <= end;) {
            const unsigned type = (ivf[at] >> 3) & 15;
            std::size_t length = 0, header = 1 + ((ivf[at] >> 2) & 1);
            for (int shift = 0; at + header < end; shift += 7) { // leb128
                const std::uint8_t b = ivf[at + header++];
                length |= std::size_t{b & 0x7Fu} << shift;
                if ((b & 0x80) == 0)
                    break;
            }
            const bytes obu(ivf.begin() + static_cast<long>(at), ivf.begin() + static_cast<long>(std::min(at + header + length, end)));
            if (type == 1 && tags.empty()) { // the first sequence header: the SequenceStart
                bytes start = av1_config(obu, header);
                const std::uint8_t ex_header[] = {0x90, 'a', 'v', '0', '1'};
                start.insert(start.begin(), std::begin(ex_header), std::end(ex_header));
                tags.push_back({9, 0, 0, start});
            }
            key = key || type == 1;
            if (type != 2)
                frame.insert(frame.end(), obu.begin(), obu.end());
            at += header + length;
        }
        frame[0] = key ? 0x91 : 0xA1;
        const auto ms = static_cast<std::uint32_t>(pts * 1000 * scale / (rate == 0 ? 1 : rate));
        tags.push_back({9, ms, 0, frame});
        pos = end;
    }
    return tags;
}

// A Multitrack video tag of one track and the tag of that codec alone:
// [0x8n | 6][packet type][FourCC][track id][data] and [0x8n | packet type][FourCC][data].
bool is_multitrack_video(const test_tag& tag)
{
    return tag.type == 9 && tag.data.size() >= 7 && (tag.data[0] & 0x8F) == 0x86 && (tag.data[1] >> 4) == 0;
}
bytes as_track(const bytes& d, std::uint8_t track)
{
    bytes m = {static_cast<std::uint8_t>((d[0] & 0xF0) | 6), static_cast<std::uint8_t>(d[0] & 0x0F), d[1], d[2], d[3], d[4], track};
    m.insert(m.end(), d.begin() + 5, d.end());
    return m;
}
bytes without_track(const bytes& m)
{
    bytes d = {static_cast<std::uint8_t>((m[0] & 0xF0) | (m[1] & 0x0F)), m[2], m[3], m[4], m[5]};
    d.insert(d.end(), m.begin() + 7, m.end());
    return d;
}

int add_track(const char* in, const char* second, const char* out)
{
    const parsed_flv a = parse_flv(read_file(in)), b = parse_flv(read_file(second));
    if (!a.well_formed || !b.well_formed)
        return 1;
    std::vector<test_tag> extra;
    for (const test_tag& tag : b.tags)
        if (tag.type == 9 && tag.data.size() >= 5 && (tag.data[0] & 0x80) != 0) // not the legacy end of sequence
            extra.push_back({9, tag.ts, tag.ext, as_track(tag.data, 1)});
    std::vector<test_tag> tags;
    if (!a.metadata.empty())
        tags.push_back({18, 0, 0, a.metadata});
    std::merge(a.tags.begin(), a.tags.end(), extra.begin(), extra.end(), std::back_inserter(tags),
               [](const test_tag& x, const test_tag& y) { return full_ts(x) < full_ts(y); });
    write_file(out, make_recording(tags));
    return 0;
}

// avc1 and legacy AVC tags hold the same bytes behind different headers:
// legacy 0x17/0x27 and an AVCPacketType, extended 0x9n/0xAn and the FourCC.
int convert_avc(const char* in, const char* out, bool to_extended, int track)
{
    const parsed_flv flv = parse_flv(read_file(in));
    if (!flv.well_formed)
        return 1;
    std::vector<test_tag> tags;
    if (!flv.metadata.empty())
        tags.push_back({18, 0, 0, flv.metadata});
    for (test_tag tag : flv.tags) {
        if (is_multitrack_video(tag) != (track > 0) || (track > 0 && tag.data[6] != track))
            continue;
        bytes& d = tag.data;
        if (track > 0)
            d = without_track(d);
        const bool legacy_avc = tag.type == 9 && d.size() >= 5 && (d[0] & 0x8F) == 7 && d[1] <= 1;
        const bool avc1 = tag.type == 9 && d.size() >= 5 && (d[0] & 0x80) && d[1] == 'a' && d[2] == 'v' && d[3] == 'c' &&
                          d[4] == '1' && (d[0] & 0x0F) <= 1;
        if (to_extended && legacy_avc) {
            const std::uint8_t packet = d[1];
            bytes ex = {static_cast<std::uint8_t>(0x80 | (d[0] & 0x70) | packet), 'a', 'v', 'c', '1'};
            ex.insert(ex.end(), d.begin() + (packet == 0 ? 5 : 2), d.end()); // SequenceStart: no composition time
            d = ex;
        } else if (!to_extended && avc1) {
            const std::uint8_t packet = d[0] & 0x0F;
            bytes legacy = {static_cast<std::uint8_t>((d[0] & 0x70) | 7), packet};
            if (packet == 0)
                legacy.insert(legacy.end(), {0, 0, 0});
            legacy.insert(legacy.end(), d.begin() + 5, d.end());
            d = legacy;
        }
        tags.push_back(tag);
    }
    bytes recording = make_recording(tags);
    std::copy(flv.header.begin(), flv.header.end(), recording.begin()); // the slide's own header
    write_file(out, recording);
    return 0;
}

void put_le(bytes& out, std::uint64_t value, int bytes_count)
{
    for (int i = 0; i < bytes_count; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// VP9 frames of an IVF file as FLV video tags; a frame whose header says
// frame_type 0 (and shows no existing frame) is a keyframe.
std::vector<test_tag> vp9_tags(const bytes& ivf)
{
    std::vector<test_tag> tags = {{9, 0, 0, {0x90, 'v', 'p', '0', '9', 1, 0, 0, 0, 0, 0, 0x82, 2, 2, 2, 0, 0}}};
    const std::uint32_t rate = ivf[16] | ivf[17] << 8 | ivf[18] << 16, scale = ivf[20] | ivf[21] << 8 | ivf[22] << 16;
    for (std::size_t pos = 32; pos + 12 <= ivf.size();) {
        const std::size_t size = ivf[pos] | ivf[pos + 1] << 8 | ivf[pos + 2] << 16;
        const std::uint64_t pts = ivf[pos + 4] | ivf[pos + 5] << 8 | ivf[pos + 6] << 16;
        const std::size_t end = std::min(pos + 12 + size, ivf.size());
        const bool key = pos + 12 < end && (ivf[pos + 12] & 0x0C) == 0; // profile 0 or 1
        bytes frame = {static_cast<std::uint8_t>(key ? 0x91 : 0xA1), 'v', 'p', '0', '9'};
        frame.insert(frame.end(), ivf.begin() + static_cast<long>(pos + 12), ivf.begin() + static_cast<long>(end));
        tags.push_back({9, static_cast<std::uint32_t>(pts * 1000 * scale / (rate == 0 ? 1 : rate)), 0, frame});
        pos = end;
    }
    return tags;
}

int flv_to_ivf(const char* in, const char* out)
{
    const parsed_flv flv = parse_flv(read_file(in));
    if (!flv.well_formed)
        return 1;
    const auto is_vp9 = [](const test_tag& t) { return t.type == 9 && t.data.size() >= 5 && t.data[4] == '9'; };
    const bool vp9 = std::any_of(flv.tags.begin(), flv.tags.end(), is_vp9);
    bytes ivf = {'D', 'K', 'I', 'F', 0, 0, 32, 0, vp9 ? std::uint8_t{'V'} : std::uint8_t{'A'}, vp9 ? std::uint8_t{'P'} : std::uint8_t{'V'},
                 vp9 ? std::uint8_t{'9'} : std::uint8_t{'0'}, vp9 ? std::uint8_t{'0'} : std::uint8_t{'1'}};
    put_le(ivf, 320, 2), put_le(ivf, 240, 2), put_le(ivf, 1000, 4), put_le(ivf, 1, 4), put_le(ivf, 0, 4), put_le(ivf, 0, 4);
    bytes pending; // the configOBUs of a SequenceStart, for the next frame
    for (const test_tag& tag : flv.tags) {
        const bytes& d = tag.data;
        const bool av1 = tag.type == 9 && d.size() >= 5 && (d[0] & 0x80) && d[1] == 'a' && d[2] == 'v' && d[3] == '0' && d[4] == '1';
        if (!av1 && !is_vp9(tag))
            continue;
        if (av1 && (d[0] & 0x0F) == 0 && d.size() > 9)
            pending.assign(d.begin() + 9, d.end());
        if ((d[0] & 0x0F) != 1)
            continue;
        bytes unit;
        if (av1)
            unit = {0x12, 0x00}; // a temporal delimiter
        unit.insert(unit.end(), pending.begin(), pending.end());
        unit.insert(unit.end(), d.begin() + 5, d.end());
        pending.clear();
        put_le(ivf, unit.size(), 4);
        put_le(ivf, full_ts(tag), 8);
        ivf.insert(ivf.end(), unit.begin(), unit.end());
    }
    write_file(out, ivf);
    return 0;
}

struct hevc_unit {
    unsigned type;
    bytes data;
};

std::vector<hevc_unit> annexb_nal_units(const bytes& file)
{
    std::vector<hevc_unit> units;
    for (std::size_t i = 0; i + 3 <= file.size(); ++i) {
        if (file[i] != 0 || file[i + 1] != 0 || file[i + 2] != 1)
            continue;
        const std::size_t start = i + 3;
        std::size_t end = start;
        while (end + 3 <= file.size() && !(file[end] == 0 && file[end + 1] == 0 && file[end + 2] <= 1))
            ++end;
        end = end + 3 > file.size() ? file.size() : end;
        if (end >= start + 2)
            units.push_back({(file[start] >> 1) & 0x3Fu, bytes(file.begin() + static_cast<long>(start), file.begin() + static_cast<long>(end))});
        i = end - 1;
    }
    return units;
}

// An hvcC record of one VPS, SPS and PPS: profile, tier and level from the
// SPS's profile_tier_level, 4:2:0 8-bit, 4-byte lengths.
bytes hvcc_of(const bytes& vps, const bytes& sps, const bytes& pps)
{
    const std::vector<std::uint8_t> rbsp = nal_payload(sps.data(), sps.size(), 2);
    bytes record = {1};
    record.insert(record.end(), rbsp.begin() + 1, rbsp.begin() + 13);
    record.insert(record.end(), {0xF0, 0x00, 0xFC, 0xFD, 0xF8, 0xF8, 0, 0, 0x0F, 3});
    for (const bytes* unit : {&vps, &sps, &pps}) {
        record.insert(record.end(), {static_cast<std::uint8_t>(0x80 | ((unit->at(0) >> 1) & 0x3F)), 0, 1,
                                     static_cast<std::uint8_t>(unit->size() >> 8), static_cast<std::uint8_t>(unit->size())});
        record.insert(record.end(), unit->begin(), unit->end());
    }
    return record;
}

int hevc_recording(const char* in, const char* out, bool legacy, const char* times_path)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> times; // dts, pts
    if (times_path != nullptr) {
        std::ifstream lines(times_path);
        for (std::uint32_t dts = 0, pts = 0; lines >> dts >> pts;)
            times.emplace_back(dts, pts);
    }
    bytes sets[3]; // the first VPS, SPS and PPS
    std::vector<bytes> frames;
    std::vector<bool> keys;
    bool has_slice = false; // the access unit so far
    for (const hevc_unit& unit : annexb_nal_units(read_file(in))) {
        if (unit.type >= 32 && unit.type <= 34) {
            if (sets[unit.type - 32].empty())
                sets[unit.type - 32] = unit.data;
            continue;
        }
        // A new access unit begins with a unit before its first slice (an SEI)
        // or with that slice.
        const bool slice = unit.type < 32, first_slice = slice && (unit.data[2] & 0x80) != 0;
        if (frames.empty() || (has_slice && (first_slice || unit.type == 35 || unit.type == 39))) {
            frames.emplace_back();
            keys.push_back(false);
            has_slice = false;
        }
        has_slice = has_slice || slice;
        keys.back() = keys.back() || (unit.type >= 16 && unit.type <= 21);
        append_be(frames.back(), unit.data.size(), 4);
        frames.back().insert(frames.back().end(), unit.data.begin(), unit.data.end());
    }
    if (sets[0].empty() || sets[1].empty() || sets[2].empty() || frames.empty())
        return 1;
    const auto head = [legacy](bool key, std::uint8_t packet_type) {
        const std::uint8_t frame = key ? 1 : 2;
        return legacy ? bytes{static_cast<std::uint8_t>(frame << 4 | 12), packet_type, 0, 0, 0}
                      : bytes{static_cast<std::uint8_t>(0x80 | frame << 4 | packet_type), 'h', 'v', 'c', '1', 0, 0, 0};
    };
    bytes config = head(true, 0);
    config.resize(5); // legacy: its composition time, 0; hvc1's SequenceStart has none
    const bytes record = hvcc_of(sets[0], sets[1], sets[2]);
    config.insert(config.end(), record.begin(), record.end());
    std::vector<test_tag> tags = {{9, 0, 0, config}};
    for (std::size_t i = 0; i < frames.size(); ++i) {
        bytes data = head(keys[i], 1);
        const auto dts = i < times.size() ? times[i].first : static_cast<std::uint32_t>(i * 40);
        const std::uint32_t cts = i < times.size() ? times[i].second - dts : 0;
        put_be(data.data() + data.size() - 3, 3, cts);
        data.insert(data.end(), frames[i].begin(), frames[i].end());
        tags.push_back({9, dts, 0, data});
    }
    write_file(out, make_recording(tags));
    return 0;
}

int flv_to_annexb(const char* in, const char* out, bool every_header)
{
    const parsed_flv flv = parse_flv(read_file(in));
    if (!flv.well_formed)
        return 1;
    const bytes start_code = {0, 0, 0, 1};
    bytes annexb;
    bool had_header = false;
    for (const test_tag& tag : flv.tags) {
        const bytes& d = tag.data;
        const bool legacy = tag.type == 9 && d.size() >= 5 && (d[0] & 0x8F) == 12;
        const bool hvc1 = tag.type == 9 && d.size() >= 5 && (d[0] & 0x80) && d[1] == 'h' && d[2] == 'v' && d[3] == 'c' && d[4] == '1';
        if (!legacy && !hvc1)
            continue;
        const unsigned packet = legacy ? d[1] : d[0] & 0x0F;
        const std::size_t at = !legacy && packet == 1 ? 8 : 5; // behind a composition time, but in a SequenceStart
        if (packet == 0 && (every_header || !had_header)) {
            had_header = true;
            std::size_t pos = at + 23;
            for (unsigned array = 0; pos <= d.size() && at + 22 < d.size() && array < d[at + 22]; ++array) {
                const unsigned count = pos + 3 <= d.size() ? d[pos + 1] << 8 | d[pos + 2] : 0;
                pos += 3;
                for (unsigned n = 0; n < count && pos + 2 <= d.size(); ++n) {
                    const std::size_t length = std::size_t{d[pos]} << 8 | d[pos + 1];
                    annexb.insert(annexb.end(), start_code.begin(), start_code.end());
                    annexb.insert(annexb.end(), d.begin() + static_cast<long>(pos + 2),
                                  d.begin() + static_cast<long>(std::min(pos + 2 + length, d.size())));
                    pos += 2 + length;
                }
            }
        } else if (packet == 1 || packet == 3) {
            for (std::size_t pos = at; pos + 4 <= d.size();) {
                const std::size_t length = std::size_t{d[pos]} << 24 | std::size_t{d[pos + 1]} << 16 | d[pos + 2] << 8 | d[pos + 3];
                annexb.insert(annexb.end(), start_code.begin(), start_code.end());
                annexb.insert(annexb.end(), d.begin() + static_cast<long>(pos + 4),
                              d.begin() + static_cast<long>(std::min(pos + 4 + length, d.size())));
                pos += 4 + length;
            }
        }
    }
    write_file(out, annexb);
    return 0;
}

int av1_opus_recording(const char* ivf, const char* opus, const char* out)
{
    std::vector<test_tag> video = av1_tags(read_file(ivf));
    const std::vector<bytes> packets = ogg_packets(read_file(opus));
    if (video.size() < 2 || packets.size() < 3)
        return 1;
    std::vector<test_tag> audio = {{8, 0, 0, bytes{0x90, 'O', 'p', 'u', 's'}}};
    audio[0].data.insert(audio[0].data.end(), packets[0].begin(), packets[0].end());
    std::uint64_t samples = 0;
    for (std::size_t i = 2; i < packets.size(); ++i) {
        bytes data = {0x91, 'O', 'p', 'u', 's'};
        data.insert(data.end(), packets[i].begin(), packets[i].end());
        audio.push_back({8, static_cast<std::uint32_t>(samples / 48), 0, data});
        samples += opus_packet_samples(packets[i].data(), packets[i].size());
    }
    std::vector<test_tag> tags;
    std::merge(video.begin(), video.end(), audio.begin(), audio.end(), std::back_inserter(tags),
               [](const test_tag& a, const test_tag& b) { return a.ts < b.ts; });
    write_file(out, make_recording(tags));
    return 0;
}

}  // namespace

// An AVC sequence header tag's data (5 bytes, then an avcC of one SPS and
// one PPS) grown to the size a tag can hold less 16 bytes.
bytes huge_avc_header(const bytes& data)
{
    const std::size_t sps_size = std::size_t{data[11]} << 8 | data[12], pps_at = 13 + sps_size + 1;
    const bytes sps(data.begin() + 13, data.begin() + 13 + static_cast<long>(sps_size));
    const bytes pps(data.begin() + static_cast<long>(pps_at) + 2, data.end());
    constexpr std::size_t target = 0xFFFFFF - 16, unit = 65535, pps_count = 254;
    std::size_t rest = target - (10 + 1 + 2 + sps_size + 1 + pps_count * (2 + unit));
    std::vector<std::size_t> sps_sizes = {sps_size};
    for (; rest > 0; rest -= std::min(rest, 2 + unit))
        sps_sizes.push_back(std::min(rest, 2 + unit) - 2);
    bytes out(data.begin(), data.begin() + 10);
    out.push_back(static_cast<std::uint8_t>(0xE0 | sps_sizes.size()));
    for (const std::size_t size : sps_sizes) {
        append_be(out, size, 2);
        out.insert(out.end(), sps.begin(), sps.end());
        out.resize(out.size() + size - sps.size());
    }
    out.push_back(pps_count);
    for (std::size_t i = 0; i < pps_count; ++i) {
        append_be(out, unit, 2);
        out.insert(out.end(), pps.begin(), pps.end());
        out.resize(out.size() + unit - pps.size());
    }
    return out;
}

int main(int argc, char** argv)
{
    if (argc != 5 && !(argc == 6 && std::string(argv[1]) == "hevc"))
        return 2;
    if (std::string(argv[1]) == "to_avc1" || std::string(argv[1]) == "to_legacy")
        return convert_avc(argv[2], argv[3], std::string(argv[1]) == "to_avc1", std::stoi(argv[4]));
    if (std::string(argv[1]) == "tracks")
        return add_track(argv[2], argv[3], argv[4]);
    if (std::string(argv[1]) == "to_ivf")
        return flv_to_ivf(argv[2], argv[3]);
    if (std::string(argv[1]) == "av1" || std::string(argv[1]) == "vp9") {
        const bytes ivf = read_file(argv[2]);
        if (ivf.size() < 32)
            return 1;
        const std::vector<test_tag> tags = std::string(argv[1]) == "av1" ? av1_tags(ivf) : vp9_tags(ivf);
        write_file(argv[3], make_recording(tags));
        return tags.size() < 2;
    }
    if (std::string(argv[1]) == "hevc")
        return hevc_recording(argv[2], argv[3], std::string(argv[4]) == "legacy", argc > 5 ? argv[5] : nullptr);
    if (std::string(argv[1]) == "to_annexb")
        return flv_to_annexb(argv[2], argv[3], std::string(argv[4]) == "all");
    if (std::string(argv[1]) == "av1_opus")
        return av1_opus_recording(argv[2], argv[3], argv[4]);
    if (std::string(argv[1]) == "audio")
        return audio_recording(argv[2], argv[3], argv[4]);
    const std::string mode = argv[1];
    const parsed_flv in = parse_flv(read_file(argv[2]));
    const auto ms = static_cast<std::uint32_t>(std::stoul(argv[4]));
    if (!in.well_formed)
        return 1;
    std::vector<test_tag> tags;
    if (!in.metadata.empty())
        tags.push_back({18, 0, 0, in.metadata});
    const test_tag* header = nullptr;
    bool resent = false;
    for (const test_tag& tag : in.tags) {
        if (mode.rfind("resend_", 0) == 0 && !resent && header != nullptr && full_ts(tag) > ms) {
            tags.push_back({9, ms + 1, 0, mode == "resend_header" ? header->data : huge_avc_header(header->data)});
            resent = true;
        }
        if (tag.type == 9 && is_sequence_header(tag))
            header = &tag;
        tags.push_back(tag);
        if (mode == "delay" && tag.type != 18 && !is_sequence_header(tag))
            tags.back().ts += ms;
    }
    if (mode != "delay" && !resent)
        return 1;
    write_file(argv[3], make_recording(tags));
    return 0;
}
