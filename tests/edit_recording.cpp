// Recordings of real encoders, edited the way some streams are:
//   resend_header IN OUT MS  the most recent video sequence header sent again,
//                            at MS + 1, before the first tag after MS;
//   delay IN OUT MS          every frame MS later, script data and sequence
//                            headers left at their times, as a stream whose
//                            first frame comes late.
#include "flv_builder.h"

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

}  // namespace

int main(int argc, char** argv)
{
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
