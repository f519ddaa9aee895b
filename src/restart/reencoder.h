// The one seam to a video codec library: pictures decoded from coded frames
// and encoded again as a run that starts with a keyframe. Builds with
// FFmpeg's libavcodec have it; builds without it (the Windows one) cannot
// encode anything again, and say so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class picture_codec { h263, h264, hevc, av1, vp9 };

// Whether this build can decode pictures of the codec and encode them again.
bool can_reencode(picture_codec codec);
// Why no codec library serves the run: the build has none, or it cannot be
// loaded (with the loader's reason); empty where one is loaded, which may
// still lack a codec's decoder or encoder.
std::string codec_library_fault();

// Codec-level bytes throughout: an avcC, hvcC or av1C record as the decoder's
// configuration (VP9 needs none), length-prefixed NAL units, an AV1 temporal
// unit, a VP9 frame or an H.263 picture as a frame.
struct reencoder;

// The encoder's H.264 profile (66, 77, 100, ...) and level, to match the
// recording's where the codec has them (0 lets the encoder choose), and the
// id its parameter sets take, one the recording's do not use, so that a
// player may know both at once.
struct reencode_profile {
    int profile = 0;
    int level = 0;
    int parameter_set_id = 0;
};

// A decoder and, once the first kept picture comes, an encoder; null (with
// why) when the decoder cannot be opened.
reencoder* open_reencoder(picture_codec codec, const std::vector<std::uint8_t>& config, reencode_profile profile,
                          std::string& why);
// A new decoder configuration for the frames that follow.
bool reencoder_config(reencoder* r, const std::uint8_t* config, std::size_t size);
// One coded frame in decode order, presented at pts (ms). The pictures of
// kept frames are encoded again, in presentation order; the others are
// decoded only, as references.
bool reencoder_frame(reencoder* r, const std::uint8_t* data, std::size_t size, std::int64_t pts, bool keep);

struct encoded_picture {
    std::vector<std::uint8_t> data; // Annex B for H.264 and HEVC; AV1's OBUs
    std::int64_t pts = 0;
    bool key = false;
};
struct reencoded_run {
    std::vector<std::uint8_t> config; // the encoder's parameter sets, Annex B; AV1's av1C or sequence header OBU; empty for H.263
    std::vector<encoded_picture> pictures; // in decode order, which is presentation order
};
// Drains decoder and encoder; false (with why) when a picture could not be
// decoded or encoded.
bool finish_reencoder(reencoder* r, reencoded_run& run, std::string& why);
// An encoder that was not drained is drained first where drain is set:
// libavcodec's libx265 wrapper frees what it keeps of a picture only as the
// picture comes out. A run that stops leaves that to the end of the process.
void close_reencoder(reencoder* r, bool drain);
