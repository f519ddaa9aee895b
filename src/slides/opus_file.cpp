// .opus slide files, as players open them: Ogg Opus (RFC 7845), the
// identification header from the recording's SequenceStart (a pre-skip of 0
// in a slide that does not start the recording's audio: its first samples
// are the slide's own), a comment header, then the slide's packets on pages
// whose granule positions count the samples decoded so far.
#include "codecs/opus.h"
#include "slides/audio_kinds.h"

#include <cstring>

namespace {

constexpr std::uint8_t FIRST_PAGE = 2, LAST_PAGE = 4;
// Packets gather on a page up to about a second of 20 ms packets.
constexpr std::size_t PAGE_BODY = 8 * 1024;

// The Ogg CRC: polynomial 0x04C11DB7, not reflected, starting at 0.
std::uint32_t ogg_crc(const std::uint8_t* bytes, std::size_t size, std::uint32_t crc)
{
    static const auto table = [] {
        struct { std::uint32_t v[256]; } t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k)
                r = (r & 0x80000000u) != 0 ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t.v[i] = r;
        }
        return t;
    }();
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table.v[((crc >> 24) ^ bytes[i]) & 0xFF];
    return crc;
}

void put_le(std::uint8_t* at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A page holds at most 255 lacing values; one on which no packet ends has
// no granule position, and the page after it is marked as continuing it.
constexpr std::size_t MAX_LACING = 255;
constexpr std::uint64_t NO_GRANULE = ~std::uint64_t{0};
constexpr std::uint8_t CONTINUED = 1;

void flush_page(ogg_opus_stream& ogg, out_stream& out, std::uint8_t flags)
{
    std::uint8_t header[27 + MAX_LACING] = {'O', 'g', 'g', 'S', 0, flags};
    if (ogg.continued)
        header[5] |= CONTINUED;
    put_le(header + 6, ogg.page_has_end || ogg.lacing.empty() ? ogg.granule : NO_GRANULE, 8);
    put_le(header + 14, ogg.serial, 4);
    put_le(header + 18, ogg.page++, 4);
    header[26] = static_cast<std::uint8_t>(ogg.lacing.size());
    std::memcpy(header + 27, ogg.lacing.data(), ogg.lacing.size());
    const std::size_t header_size = 27 + ogg.lacing.size();
    const std::uint32_t crc = ogg_crc(ogg.body.data(), ogg.body.size(), ogg_crc(header, header_size, 0));
    put_le(header + 22, crc, 4);
    write_bytes(out, header, header_size);
    write_bytes(out, ogg.body.data(), ogg.body.size());
    ogg.continued = !ogg.lacing.empty() && ogg.lacing.back() == 255;
    ogg.page_has_end = false;
    ogg.lacing.clear();
    ogg.body.clear();
}

// A packet's lacing values: 255 for each full 255 bytes, then the rest. A
// packet of more than a page's 255 values (64 KiB or more) goes on over as
// many pages as it needs.
void add_packet(ogg_opus_stream& ogg, out_stream& out, const std::uint8_t* packet, std::size_t size)
{
    for (std::size_t left = size;; left -= 255, packet += 255) {
        if (ogg.lacing.size() == MAX_LACING)
            flush_page(ogg, out, 0);
        const std::size_t part = left >= 255 ? 255 : left;
        ogg.lacing.push_back(static_cast<std::uint8_t>(part));
        ogg.body.insert(ogg.body.end(), packet, packet + part);
        if (left < 255)
            break;
    }
    ogg.page_has_end = true;
}

void start_ogg_opus(ogg_opus_stream& ogg, out_stream& out, const std::vector<std::uint8_t>& head, bool first_slide,
                    std::uint32_t serial)
{
    ogg = ogg_opus_stream{};
    ogg.serial = serial;
    std::vector<std::uint8_t> own = head;
    if (!first_slide)
        own[10] = own[11] = 0;
    ogg.granule = 0;
    add_packet(ogg, out, own.data(), own.size());
    flush_page(ogg, out, FIRST_PAGE);
    static const std::uint8_t tags[] = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's', 8, 0, 0, 0,
                                        's', 'l', 'i', 'd', 'e', 'c', 'u', 't', 0, 0, 0, 0};
    add_packet(ogg, out, tags, sizeof tags);
    flush_page(ogg, out, 0);
    ogg.granule = own[10] | own[11] << 8; // pre-skip
}

void write_opus_packet(ogg_opus_stream& ogg, out_stream& out, const std::uint8_t* packet, std::size_t size)
{
    if (!ogg.lacing.empty() && (ogg.body.size() + size > PAGE_BODY || ogg.lacing.size() + size / 255 + 1 > MAX_LACING))
        flush_page(ogg, out, 0);
    add_packet(ogg, out, packet, size);
    ogg.granule += opus_packet_samples(packet, size);
}

void finish_ogg_opus(ogg_opus_stream& ogg, out_stream& out)
{
    flush_page(ogg, out, LAST_PAGE);
}

}  // namespace

void start_opus_file(audio_slide& slide, const audio_stream& stream, std::int32_t cur_slide)
{
    start_ogg_opus(slide.ogg, slide.out, stream.start, !stream.opus_seen, static_cast<std::uint32_t>(cur_slide) + 1);
}

// One packet of coded frames, without its extended header.
move_result write_opus_tag(audio_slide& slide, audio_stream& stream, const tag_header& tag, const tag_class& c,
                           in_stream& src)
{
    stream.opus_seen = true;
    const move_result taken = take_part(src, tag.data_size, c.ex.data_offset, c.ex.data_size, &slide.packet, nullptr);
    if (taken == move_result::done && !slide.packet.empty())
        write_opus_packet(slide.ogg, slide.out, slide.packet.data(), slide.packet.size());
    return result_of(src, &slide.out, taken == move_result::done ? tag.data_size : 0, tag.data_size);
}

void finish_opus_file(audio_slide& slide)
{
    finish_ogg_opus(slide.ogg, slide.out);
}
