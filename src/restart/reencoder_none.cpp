// A build without a codec library: nothing is encoded again.
#include "restart/reencoder.h"

bool can_reencode(picture_codec)
{
    return false;
}

std::string codec_library_fault()
{
    return "this build has no codec library";
}

reencoder* open_reencoder(picture_codec, const std::vector<std::uint8_t>&, reencode_profile, std::string& why)
{
    why = "this build has no video encoder";
    return nullptr;
}

bool reencoder_config(reencoder*, const std::uint8_t*, std::size_t)
{
    return false;
}

bool reencoder_frame(reencoder*, const std::uint8_t*, std::size_t, std::int64_t, bool)
{
    return false;
}

bool finish_reencoder(reencoder*, reencoded_run&, std::string& why)
{
    why = "this build has no video encoder";
    return false;
}

void close_reencoder(reencoder*, bool) {}
