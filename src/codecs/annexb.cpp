#include "codecs/annexb.h"

#include "io/big_endian.h"

#include <algorithm>

std::vector<nal_unit> annexb_units(const std::uint8_t* data, std::size_t size)
{
    std::vector<nal_unit> units;
    std::size_t i = 0, start = 0;
    bool in_unit = false;
    while (i + 3 <= size) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (in_unit) {
                std::size_t end = i;
                while (end > start && data[end - 1] == 0) // a 4-byte start code's leading zero
                    --end;
                units.push_back({data + start, end - start});
            }
            i += 3;
            start = i;
            in_unit = true;
            continue;
        }
        ++i;
    }
    if (in_unit && size > start)
        units.push_back({data + start, size - start});
    return units;
}

std::vector<nal_unit> length_prefixed_units(const std::uint8_t* data, std::size_t size, unsigned length_size)
{
    std::vector<nal_unit> units;
    if (length_size < 1 || length_size > 4)
        return units;
    for (std::size_t at = 0; size - at >= length_size;) {
        const std::size_t length = get_be(data + at, static_cast<std::int8_t>(length_size));
        at += length_size;
        units.push_back({data + at, std::min(length, size - at)});
        if (length > size - at)
            break;
        at += length;
    }
    return units;
}

std::vector<std::uint8_t> length_prefixed(const std::uint8_t* annexb, std::size_t size)
{
    std::vector<std::uint8_t> out;
    out.reserve(size + 16);
    for (const nal_unit& unit : annexb_units(annexb, size)) {
        append_be(out, unit.size, 4);
        out.insert(out.end(), unit.data, unit.data + unit.size);
    }
    return out;
}

void append_record_units(std::vector<std::uint8_t>& record, const std::vector<nal_unit>& units)
{
    for (const nal_unit& unit : units) {
        append_be(record, unit.size, 2);
        record.insert(record.end(), unit.data, unit.data + unit.size);
    }
}

void append_escaped(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& rbsp)
{
    int zeros = 0;
    for (const std::uint8_t byte : rbsp) {
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
}
