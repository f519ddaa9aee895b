// The codec seam on FFmpeg's libavcodec: its decoders, and libx264, libx265,
// libaom, libvpx and the native Sorenson H.263 encoder. On Linux the
// libraries are loaded when a slide first needs them: linked in, they and
// the hundred libraries behind them would cost every run some 15 ms and
// 16 MiB before its first byte. The Windows build links its own, which
// hold only what slidecut uses.
#include "restart/reencoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "io/platform.h"

#include <climits>
#include <cstring>
#include <set>

struct reencoder {
    picture_codec codec = picture_codec::h264;
    reencode_profile profile;
    AVCodecContext* dec = nullptr;
    AVCodecContext* enc = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* picture = nullptr;
    std::vector<std::uint8_t> new_config; // given to the decoder with the next frame
    std::multiset<std::int64_t> kept;     // presentation times of kept frames not yet decoded
    bool first_encoded = false;
    bool drained = false; // the encoder has given all it will
    std::int64_t last_pts = 0;
    reencoded_run out;
    std::string why;
};

namespace {

// The functions used, from the libraries of the version built against, and
// the library each is in.
#define SLIDECUT_LIBAV_FUNCTIONS(X)                                                                                    \
    X(codec, avcodec_find_decoder)                                                                                     \
    X(codec, avcodec_find_encoder_by_name)                                                                             \
    X(codec, avcodec_alloc_context3)                                                                                   \
    X(codec, avcodec_open2)                                                                                            \
    X(codec, avcodec_free_context)                                                                                     \
    X(codec, avcodec_send_packet)                                                                                      \
    X(codec, avcodec_receive_frame)                                                                                    \
    X(codec, avcodec_send_frame)                                                                                       \
    X(codec, avcodec_receive_packet)                                                                                   \
    X(codec, av_packet_alloc)                                                                                          \
    X(codec, av_packet_free)                                                                                           \
    X(codec, av_packet_unref)                                                                                          \
    X(codec, av_new_packet)                                                                                            \
    X(codec, av_packet_new_side_data)                                                                                  \
    X(util, av_frame_alloc)                                                                                            \
    X(util, av_frame_free)                                                                                             \
    X(util, av_frame_unref)                                                                                            \
    X(util, av_opt_set)                                                                                                \
    X(util, av_strerror)                                                                                               \
    X(util, av_get_pix_fmt_name)                                                                                       \
    X(util, av_mallocz)                                                                                                \
    X(util, av_log_set_level)

struct libav_api {
#define SLIDECUT_MEMBER(library, name) decltype(&::name) name;
    SLIDECUT_LIBAV_FUNCTIONS(SLIDECUT_MEMBER)
#undef SLIDECUT_MEMBER
};

// Why the libraries could not be loaded, once they were tried.
std::string load_fault;
const libav_api* lib = nullptr;

#if defined(SLIDECUT_LIBAV_LINKED)
// Linked in (the Windows build, whose libraries hold only the codecs used
// and nothing behind them): nothing to load.
bool load_functions(libav_api& api)
{
#define SLIDECUT_TAKE(library, name) api.name = &::name;
    SLIDECUT_LIBAV_FUNCTIONS(SLIDECUT_TAKE)
#undef SLIDECUT_TAKE
    return true;
}
#else
template <typename F>
bool load(void* library, const char* name, F& function)
{
    function = reinterpret_cast<F>(library_function(library, name));
    return function != nullptr;
}

void* open_library(const char* name)
{
    std::string why;
    void* library = load_library(name, why);
    if (library == nullptr && load_fault.empty())
        load_fault = std::string(name) + " cannot be loaded (" + why + ")";
    return library;
}

#define SLIDECUT_SONAME(name, major) "lib" name ".so." AV_STRINGIFY(major)

bool load_functions(libav_api& api)
{
    void* util = open_library(SLIDECUT_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR));
    void* codec = open_library(SLIDECUT_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR));
    if (util == nullptr || codec == nullptr)
        return false;
#define SLIDECUT_LOAD(library, name) &&load(library, #name, api.name)
    return true SLIDECUT_LIBAV_FUNCTIONS(SLIDECUT_LOAD);
#undef SLIDECUT_LOAD
}
#endif

// Loads them and sets lib, or load_fault; once, whichever thread asks first.
bool load_all()
{
    static libav_api api;
    const bool loaded = load_functions(api);
    // Their own messages would reach the terminal; failures come back
    // through why instead.
    if (loaded)
        api.av_log_set_level(AV_LOG_QUIET);
    else if (load_fault.empty())
        load_fault = "libavcodec " AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR) " lacks functions slidecut uses";
    lib = loaded ? &api : nullptr;
    return loaded;
}

// The threads that make new starts share the libraries; lib and load_fault
// are written before the first of them returns from here, and only read
// after.
const libav_api* load_libav()
{
    static const bool loaded = load_all();
    return loaded ? lib : nullptr;
}

AVCodecID decoder_id(picture_codec codec)
{
    switch (codec) {
    case picture_codec::h263: return AV_CODEC_ID_FLV1;
    case picture_codec::av1: return AV_CODEC_ID_AV1;
    case picture_codec::vp9: return AV_CODEC_ID_VP9;
    case picture_codec::hevc: return AV_CODEC_ID_HEVC;
    case picture_codec::h264: break;
    }
    return AV_CODEC_ID_H264;
}

const char* encoder_name(picture_codec codec)
{
    switch (codec) {
    case picture_codec::h263: return "flv";
    case picture_codec::av1: return "libaom-av1";
    case picture_codec::vp9: return "libvpx-vp9";
    case picture_codec::hevc: return "libx265";
    case picture_codec::h264: break;
    }
    return "libx264";
}

bool fail(reencoder* r, const std::string& what, int error = 0)
{
    if (r->why.empty()) {
        r->why = what;
        if (error != 0) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            lib->av_strerror(error, text, sizeof text);
            r->why += std::string(": ") + text;
        }
    }
    return false;
}

// x264's profile for the pictures: the recording's own where they are 8-bit
// 4:2:0 (baseline and main where it used those), else the one their bit
// depth and chroma need. A profile x264 refuses is reported by x264 itself
// on the terminal, so none is ever asked for.
const char* h264_profile_name(int profile, AVPixelFormat format)
{
    switch (format) {
    case AV_PIX_FMT_YUV420P10LE: return "high10";
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUV422P10LE: return "high422";
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUV444P10LE: return "high444";
    default: break;
    }
    return profile == 66 ? "baseline" : profile == 77 ? "main" : "high";
}

// The levels H.264 defines (level_idc); any other byte is left to x264.
bool is_h264_level(int level)
{
    for (int known : {9, 10, 11, 12, 13, 20, 21, 22, 30, 31, 32, 40, 41, 42, 50, 51, 52, 60, 61, 62})
        if (level == known)
            return true;
    return false;
}

bool supports_format(const AVCodec* codec, AVPixelFormat format)
{
    for (const AVPixelFormat* f = codec->pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format)
            return true;
    return false;
}

// Constant quality rather than a rate: a run of a few seconds gives rate
// control nothing to work with. Each encoder's preset and quality are the
// fastest that bench/encoder_settings found to keep every new frame at least
// 40 dB from the recording's own picture, the first at least 42 dB, and the
// slides within 1.15 times the recording's bytes, on recordings of each kind
// (doc/encoder-settings.md has the table): x264 superfast at CRF 26, x265 ultrafast at
// CRF 26, libaom at its fastest speed; within a preset, the quality with
// room to spare on the bounds. No setting of libvpx, x265 or Sorenson
// H.263 meets all three on the 320x240 test recordings: VP9 at CRF 30 keeps
// the pictures at 40.5 dB for 1.16 times the bytes, H.263 at quantiser 4
// with rate-distortion decisions 43 dB for 1.35 times.
void set_encoder_options(reencoder* r, AVCodecContext* enc, AVPixelFormat format)
{
    enc->max_b_frames = 0; // decode order is presentation order
    enc->gop_size = INT_MAX / 2;
    enc->thread_count = 1;
    if (r->codec == picture_codec::h263) {
        enc->flags |= AV_CODEC_FLAG_QSCALE;
        enc->global_quality = 4 * FF_QP2LAMBDA;
        lib->av_opt_set(enc, "mbd", "rd", AV_OPT_SEARCH_CHILDREN);
        lib->av_opt_set(enc, "trellis", "1", AV_OPT_SEARCH_CHILDREN);
    } else if (r->codec == picture_codec::av1) {
        // Constant quality, its fastest speed, and no look-ahead: no hidden
        // frames, one temporal unit a picture.
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        enc->bit_rate = 0;
        lib->av_opt_set(enc->priv_data, "crf", "28", 0);
        lib->av_opt_set(enc->priv_data, "cpu-used", "8", 0);
        lib->av_opt_set(enc->priv_data, "lag-in-frames", "0", 0);
        lib->av_opt_set(enc->priv_data, "usage", "realtime", 0);
    } else if (r->codec == picture_codec::vp9) {
        // Likewise: no alternate reference frames, so no superframes.
        enc->bit_rate = 0;
        lib->av_opt_set(enc->priv_data, "crf", "30", 0);
        lib->av_opt_set(enc->priv_data, "deadline", "realtime", 0);
        lib->av_opt_set(enc->priv_data, "cpu-used", "8", 0);
        lib->av_opt_set(enc->priv_data, "lag-in-frames", "0", 0);
        lib->av_opt_set(enc->priv_data, "auto-alt-ref", "0", 0);
    } else if (r->codec == picture_codec::hevc) {
        // One thread, no B-frames, no look-ahead's scene cuts. Its
        // parameter sets take id 0, and slidecut numbers them anew.
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        lib->av_opt_set(enc->priv_data, "preset", "ultrafast", 0);
        lib->av_opt_set(enc->priv_data, "crf", "26", 0);
        lib->av_opt_set(enc->priv_data, "x265-params",
                        "scenecut=0:bframes=0:pools=none:frame-threads=1:info=0:log-level=none", 0);
    } else {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        lib->av_opt_set(enc->priv_data, "preset", "superfast", 0);
        lib->av_opt_set(enc->priv_data, "crf", "26", 0);
        lib->av_opt_set(enc->priv_data, "profile", h264_profile_name(r->profile.profile, format), 0);
        const std::string params = "scenecut=0:sps-id=" + std::to_string(r->profile.parameter_set_id);
        lib->av_opt_set(enc->priv_data, "x264-params", params.c_str(), 0);
        if (is_h264_level(r->profile.level))
            enc->level = r->profile.level;
    }
}

bool open_encoder(reencoder* r, const AVFrame* frame)
{
    const AVCodec* codec = lib->avcodec_find_encoder_by_name(encoder_name(r->codec));
    if (codec == nullptr)
        return fail(r, std::string("this build's libavcodec has no ") + encoder_name(r->codec) + " encoder");
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (!supports_format(codec, format)) {
        const char* name = lib->av_get_pix_fmt_name(format);
        return fail(r, std::string(encoder_name(r->codec)) + " cannot encode pictures of pixel format " +
                           (name != nullptr ? name : "unknown"));
    }
    r->enc = lib->avcodec_alloc_context3(codec);
    AVCodecContext* enc = r->enc;
    enc->width = frame->width;
    enc->height = frame->height;
    enc->pix_fmt = format;
    enc->sample_aspect_ratio = frame->sample_aspect_ratio;
    enc->color_range = frame->color_range;
    enc->color_primaries = frame->color_primaries;
    enc->color_trc = frame->color_trc;
    enc->colorspace = frame->colorspace;
    enc->time_base = AVRational{1, 1000};
    enc->framerate = r->dec->framerate.num > 0 ? r->dec->framerate : AVRational{25, 1};
    set_encoder_options(r, enc, format);
    const int error = lib->avcodec_open2(enc, codec, nullptr);
    return error >= 0 || fail(r, std::string("cannot open the ") + encoder_name(r->codec) + " encoder", error);
}

bool drain_encoder(reencoder* r)
{
    for (;;) {
        const int got = lib->avcodec_receive_packet(r->enc, r->packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0)
            return fail(r, "the encoder failed", got);
        encoded_picture picture;
        picture.data.assign(r->packet->data, r->packet->data + r->packet->size);
        picture.pts = r->packet->pts;
        picture.key = (r->packet->flags & AV_PKT_FLAG_KEY) != 0;
        r->out.pictures.push_back(std::move(picture));
        lib->av_packet_unref(r->packet);
    }
}

// The encoder's last pictures, once no more will be sent.
bool flush_encoder(reencoder* r)
{
    r->drained = true;
    return (lib->avcodec_send_frame(r->enc, nullptr) >= 0 || fail(r, "the encoder failed")) && drain_encoder(r);
}

// A decoded picture: encoded again when its frame is kept, dropped when it
// only served as a reference.
bool take_picture(reencoder* r, AVFrame* frame)
{
    const std::int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
    const auto kept = r->kept.find(pts);
    if (kept == r->kept.end())
        return true;
    r->kept.erase(kept);
    if (r->first_encoded && pts <= r->last_pts)
        return fail(r, "two pictures are presented at the same time");
    if (r->enc == nullptr && !open_encoder(r, frame))
        return false;
    if (frame->width != r->enc->width || frame->height != r->enc->height || frame->format != r->enc->pix_fmt)
        return fail(r, "the picture size changes before the next keyframe");
    frame->pts = pts;
    frame->pict_type = r->first_encoded ? AV_PICTURE_TYPE_NONE : AV_PICTURE_TYPE_I;
    frame->quality = r->enc->global_quality;
    r->first_encoded = true;
    r->last_pts = pts;
    const int sent = lib->avcodec_send_frame(r->enc, frame);
    return (sent >= 0 || fail(r, "the encoder refused a picture", sent)) && drain_encoder(r);
}

bool drain_decoder(reencoder* r)
{
    for (;;) {
        const int got = lib->avcodec_receive_frame(r->dec, r->picture);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0)
            return fail(r, "a frame cannot be decoded", got);
        const bool ok = take_picture(r, r->picture);
        lib->av_frame_unref(r->picture);
        if (!ok)
            return false;
    }
}

bool set_extradata(AVCodecContext* dec, const std::vector<std::uint8_t>& config)
{
    if (config.empty())
        return true;
    dec->extradata = static_cast<std::uint8_t*>(lib->av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (dec->extradata == nullptr)
        return false;
    std::memcpy(dec->extradata, config.data(), config.size());
    dec->extradata_size = static_cast<int>(config.size());
    return true;
}

}  // namespace

std::string codec_library_fault()
{
    return load_libav() != nullptr ? std::string() : load_fault;
}

bool can_reencode(picture_codec codec)
{
    return load_libav() != nullptr && lib->avcodec_find_decoder(decoder_id(codec)) != nullptr &&
           lib->avcodec_find_encoder_by_name(encoder_name(codec)) != nullptr;
}

reencoder* open_reencoder(picture_codec codec, const std::vector<std::uint8_t>& config, reencode_profile profile,
                          std::string& why)
{
    if (load_libav() == nullptr) {
        why = load_fault;
        return nullptr;
    }
    const AVCodec* decoder = lib->avcodec_find_decoder(decoder_id(codec));
    if (decoder == nullptr) {
        why = "this build's libavcodec has no decoder for it";
        return nullptr;
    }
    auto* r = new reencoder;
    r->codec = codec;
    r->profile = profile;
    r->dec = lib->avcodec_alloc_context3(decoder);
    r->packet = lib->av_packet_alloc();
    r->picture = lib->av_frame_alloc();
    if (r->dec == nullptr || r->packet == nullptr || r->picture == nullptr || !set_extradata(r->dec, config)) {
        why = "out of memory";
        close_reencoder(r, false);
        return nullptr;
    }
    r->dec->thread_count = 1;
    r->dec->pkt_timebase = AVRational{1, 1000};
    const int error = lib->avcodec_open2(r->dec, decoder, nullptr);
    if (error < 0) {
        fail(r, "cannot open the decoder", error);
        why = r->why;
        close_reencoder(r, false);
        return nullptr;
    }
    return r;
}

bool reencoder_config(reencoder* r, const std::uint8_t* config, std::size_t size)
{
    r->new_config.assign(config, config + size);
    return true;
}

bool reencoder_frame(reencoder* r, const std::uint8_t* data, std::size_t size, std::int64_t pts, bool keep)
{
    if (!r->why.empty())
        return false;
    if (size > INT_MAX / 2 || lib->av_new_packet(r->packet, static_cast<int>(size)) < 0)
        return fail(r, "out of memory");
    std::memcpy(r->packet->data, data, size);
    r->packet->pts = pts;
    // Frames before the cut serve only as references: those nothing refers
    // to (B-frames, mostly) need no decoding. One thread decodes each packet
    // as it is sent, so the setting holds for this one.
    r->dec->skip_frame = keep ? AVDISCARD_DEFAULT : AVDISCARD_NONREF;
    if (!r->new_config.empty()) {
        std::uint8_t* side = lib->av_packet_new_side_data(r->packet, AV_PKT_DATA_NEW_EXTRADATA, r->new_config.size());
        if (side != nullptr)
            std::memcpy(side, r->new_config.data(), r->new_config.size());
        r->new_config.clear();
    }
    if (keep)
        r->kept.insert(pts);
    for (;;) {
        const int sent = lib->avcodec_send_packet(r->dec, r->packet);
        if (sent == AVERROR(EAGAIN)) {
            if (!drain_decoder(r))
                break;
            continue;
        }
        lib->av_packet_unref(r->packet);
        // A reference frame that does not decode spoils the pictures after it.
        if (sent < 0)
            return fail(r, "a frame cannot be decoded", sent);
        return drain_decoder(r);
    }
    lib->av_packet_unref(r->packet);
    return false;
}

bool finish_reencoder(reencoder* r, reencoded_run& run, std::string& why)
{
    bool ok = r->why.empty() && lib->avcodec_send_packet(r->dec, nullptr) >= 0 && drain_decoder(r);
    if (ok && !r->kept.empty())
        ok = fail(r, std::to_string(r->kept.size()) + " of the frames give no picture");
    if (ok && r->enc == nullptr)
        ok = fail(r, "no frame gives a picture");
    if (ok)
        ok = flush_encoder(r);
    if (!ok) {
        why = r->why;
        return false;
    }
    if (r->enc->extradata != nullptr)
        r->out.config.assign(r->enc->extradata, r->enc->extradata + r->enc->extradata_size);
    run = std::move(r->out);
    return true;
}

void close_reencoder(reencoder* r, bool drain)
{
    if (r == nullptr)
        return;
    if (drain && r->enc != nullptr && !r->drained)
        flush_encoder(r);
    lib->avcodec_free_context(&r->dec);
    lib->avcodec_free_context(&r->enc);
    lib->av_packet_free(&r->packet);
    lib->av_frame_free(&r->picture);
    delete r;
}
