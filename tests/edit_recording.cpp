// Recordings of real encoders, edited the way some streams are:
//   resend_header IN OUT MS  the most recent video sequence header sent again,
//                            at MS + 1, before the first tag after MS;
//   delay IN OUT MS          every frame MS later, script data and sequence
//                            headers left at their times, as a stream whose
//                            first frame comes late;
//   opus IN.opus OUT         the packets of an Ogg Opus file in Opus tags behind
//                            the extended audio header (SequenceStart with the
//                            OpusHead, MultichannelConfig, CodedFrames), as
//                            today's encoders write them; prints the samples
//                            the packets hold and the pre-skip.
#include "flv/ogg_opus.h"
#include "flv_builder.h"

#include <cstdio>
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

int opus_recording(const char* in, const char* out)
{
    const std::vector<bytes> packets = ogg_packets(read_file(in));
    if (packets.size() < 3 || packets[0].size() < 19)
        return 1;
    const bytes& head = packets[0];
    const auto ex = [](std::uint8_t packet_type, const bytes& data) {
        bytes tag = {static_cast<std::uint8_t>(0x90 | packet_type), 'O', 'p', 'u', 's'};
        tag.insert(tag.end(), data.begin(), data.end());
        return tag;
    };
    std::vector<test_tag> tags = {{8, 0, 0, ex(0, head)}, {8, 0, 0, ex(4, {1, head[9], 0, 0, 0, 3})}};
    std::uint64_t samples = 0;
    for (std::size_t i = 2; i < packets.size(); ++i) {
        const auto ms = static_cast<std::uint32_t>(samples / 48);
        tags.push_back({8, ms & 0xFFFFFF, static_cast<std::uint8_t>(ms >> 24), ex(1, packets[i])});
        samples += opus_packet_samples(packets[i].data(), packets[i].size());
    }
    write_file(out, make_recording(tags));
    std::printf("samples %llu pre_skip %u\n", static_cast<unsigned long long>(samples), head[10] | head[11] << 8);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "opus")
        return opus_recording(argv[2], argv[3]);
    if (argc != 5)
        return 2;
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
        if (mode == "resend_header" && !resent && header != nullptr && full_ts(tag) > ms) {
            tags.push_back({9, ms + 1, 0, header->data});
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
