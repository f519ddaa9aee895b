#include "flv/avc.h"

#include "flv/annexb.h"
#include "flv/bit_reader.h"
#include "flv/flv_format.h"

#include <algorithm>

namespace {

constexpr unsigned NAL_SPS = 7, NAL_PPS = 8;

struct parameter_sets {
    std::vector<nal_unit> sps, pps;
};

// The SPS and PPS of an avcC record, as far as it holds them whole.
parameter_sets record_units(const std::vector<std::uint8_t>& record)
{
    parameter_sets sets;
    if (record.size() < 6)
        return sets;
    std::size_t pos = 5;
    for (int list = 0; list < 2; ++list) {
        std::vector<nal_unit>& units = list == 0 ? sets.sps : sets.pps;
        if (pos >= record.size())
            break;
        const unsigned count = list == 0 ? record[pos] & 0x1F : record[pos];
        ++pos;
        for (unsigned i = 0; i < count && pos + 2 <= record.size(); ++i) {
            const std::size_t length = std::size_t{record[pos]} << 8 | record[pos + 1];
            if (pos + 2 + length > record.size())
                return sets;
            units.push_back({record.data() + pos + 2, length});
            pos += 2 + length;
        }
    }
    return sets;
}

}  // namespace

std::vector<std::uint8_t> avc_config_record(const std::uint8_t* annexb, std::size_t size,
                                            const std::vector<std::uint8_t>& also)
{
    parameter_sets sets = record_units(also);
    const std::size_t own_sps = sets.sps.size();
    bool has_own_pps = false;
    for (const nal_unit& unit : annexb_units(annexb, size)) {
        if (unit.size == 0 || unit.size > 0xFFFF)
            continue;
        if ((unit.data[0] & 0x1F) == NAL_SPS) {
            sets.sps.push_back(unit);
        } else if ((unit.data[0] & 0x1F) == NAL_PPS) {
            sets.pps.push_back(unit);
            has_own_pps = true;
        }
    }
    if (sets.sps.size() == own_sps || !has_own_pps || sets.sps[0].size < 4 || sets.sps.size() > 31 ||
        sets.pps.size() > 255)
        return {};
    // Version 1, profile, compatibility and level from the first SPS, 4-byte lengths.
    const nal_unit& first = sets.sps[0];
    std::vector<std::uint8_t> record = {1, first.data[1], first.data[2], first.data[3], 0xFF,
                                        static_cast<std::uint8_t>(0xE0 | sets.sps.size())};
    append_record_units(record, sets.sps);
    record.push_back(static_cast<std::uint8_t>(sets.pps.size()));
    append_record_units(record, sets.pps);
    return record;
}

int unused_parameter_set_id(const std::vector<std::uint8_t>& record)
{
    const parameter_sets sets = record_units(record);
    bool used[32] = {};
    for (const std::vector<nal_unit>* units : {&sets.sps, &sets.pps}) {
        for (const nal_unit& unit : *units) {
            const std::vector<std::uint8_t> rbsp = nal_payload(unit.data, unit.size, 1);
            bit_reader in{rbsp.data(), rbsp.size()};
            if (units == &sets.sps)
                read_bits(in, 24); // profile, constraint flags, level
            const unsigned id = read_ue(in);
            if (!in.short_read && id < 32)
                used[id] = true;
        }
    }
    const bool* free_id = std::find(std::begin(used), std::end(used), false);
    return free_id == std::end(used) ? 0 : static_cast<int>(free_id - std::begin(used));
}

bool avc_profile_of(const std::uint8_t* record, std::size_t size, int& profile, int& level)
{
    if (size < 4 || record[0] != 1)
        return false;
    profile = record[1];
    level = record[3];
    return true;
}
