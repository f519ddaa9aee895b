#include "flv/splitter.h"

#include "cue/cue_list.h"
#include "flv/slide_name.h"
#include "flv/split_run.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

void report(const char* format, ...)
{
    std::fflush(stdout);
    std::fputs("slidecut: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

bool open_slide_file(split_run& run, std::uint8_t kind)
{
    out_stream& out = kind == KIND_MP3 ? run.mp3_out : run.flv_out;
    const std::string file_name = slide_file_name(run.base_name, run.cur_slide, kind);
    if (open_out(out, file_name))
        return true;
    report("cannot create slide file %s: %s", file_name.c_str(), std::strerror(out.error));
    return false;
}

static bool close_slide_file(out_stream& out)
{
    if (close_out(out))
        return true;
    report("cannot write slide file %s: %s", out.path.c_str(), std::strerror(out.error));
    std::remove(out.path.c_str());
    return false;
}

tag_outcome outcome_of(const split_run& run, const out_stream* out, std::uint64_t moved, std::uint64_t wanted)
{
    if (run.rec.error != 0 || (out != nullptr && out->error != 0))
        return tag_outcome::failed;
    return moved == wanted ? tag_outcome::done : tag_outcome::cut_off;
}

// The .mp3 file closes before the .flv file; both must land whole.
static bool close_slide_files(split_run& run)
{
    const bool mp3_ok = close_slide_file(run.mp3_out);
    if (!mp3_ok) {
        discard_out(run.flv_out);
        return false;
    }
    return close_slide_file(run.flv_out);
}

// A failed run keeps only the slides it finished.
static int fail_run(split_run& run)
{
    for (const out_stream* out : {&run.mp3_out, &run.flv_out})
        if (out->file != nullptr && out->error != 0)
            report("cannot write slide file %s: %s", out->path.c_str(), std::strerror(out->error));
    if (run.rec.error != 0)
        report("cannot read %s: %s", run.rec.path.c_str(), std::strerror(run.rec.error));
    discard_out(run.mp3_out);
    discard_out(run.flv_out);
    close_in(run.rec);
    return EXIT_RUN_FAILED;
}

// Reads the 9-byte header and moves to the tag stream at DataOffset.
static bool enter_tag_stream(split_run& run)
{
    const std::size_t got = read_bytes(run.rec, run.flv, FLV_HEADER_SIZE);
    if (got < FLV_HEADER_SIZE) {
        if (run.rec.error == 0)
            report("warning: %s: the recording ends inside the FLV header (%zu of 9 bytes)", run.rec.path.c_str(),
                   got);
        return false;
    }
    if (std::memcmp(run.flv, "FLV", 3) != 0)
        report("warning: %s: no FLV signature; reading it as FLV all the same", run.rec.path.c_str());
    const std::uint32_t data_offset = get_be(run.flv + FLV_DATA_OFFSET_POS, 4);
    return seek_in(run.rec, data_offset);
}

// A tag whose Timestamp passes the current cue point begins the next slide.
static bool split_test(split_run& run, std::uint32_t t)
{
    if (t <= run.cues[static_cast<std::size_t>(run.cur_slide)])
        return true;
    if (!close_slide_files(run))
        return false;
    ++run.cur_slide;
    std::printf("Processing slide %i...\n", run.cur_slide);
    return true;
}

static tag_outcome route_tag(split_run& run, std::uint32_t t, std::uint32_t data_size)
{
    if (!run.separate_audio)
        return write_flv_tag(run, t, data_size);
    switch (run.tag[TAG_TYPE_POS]) {
    case TAG_AUDIO:
        return write_mp3_payload(run, data_size);
    case TAG_VIDEO:
        return write_flv_tag(run, t, data_size);
    default:
        return skip_tag(run, data_size);
    }
}

tag_outcome write_flv_tag(split_run& run, std::uint32_t t, std::uint32_t data_size)
{
    const std::uint8_t* head = nullptr;
    const std::size_t head_len = peek_bytes(run.rec, &head, data_size < 2 ? data_size : 2);
    const config_kind config = classify_config(run.tag[TAG_TYPE_POS], head, head_len);

    if (run.flv_out.file == nullptr) {
        static const std::uint8_t pts_z[PREV_TAG_SIZE_LEN] = {0, 0, 0, 0};
        if (!open_slide_file(run, KIND_FLV))
            return tag_outcome::failed;
        run.base_ts = t;
        write_bytes(run.flv_out, run.flv, FLV_HEADER_SIZE);
        write_bytes(run.flv_out, pts_z, PREV_TAG_SIZE_LEN);
        write_carried_configs(run, config);
    }

    // Only the low 24 bits are re-based; TimestampExtended stays as read.
    put_be(run.tag + TAG_TIMESTAMP_POS, 3, t - run.base_ts);
    write_bytes(run.flv_out, run.tag, TAG_HEADER_SIZE);

    const std::uint64_t copied = config != config_kind::none ? copy_config_tag(run, config, data_size)
                                                             : copy_bytes(run.rec, run.flv_out, data_size);

    // The PreviousTagSize behind the tag goes along; it is left unread so the
    // next pass reads it as the one in front of the next tag.
    const std::uint8_t* trailer = nullptr;
    const std::size_t trailer_len = copied == data_size ? peek_bytes(run.rec, &trailer, PREV_TAG_SIZE_LEN) : 0;
    write_bytes(run.flv_out, trailer, trailer_len);

    return outcome_of(run, &run.flv_out, copied, data_size);
}

int split_flv(const char* flv_path, const char* cue_path, bool separate_audio)
{
    std::printf("Processing [%s] with cue file [%s]\n", flv_path, cue_path);

    split_run run;
    run.separate_audio = separate_audio;
    if (!open_in(run.rec, flv_path)) {
        std::printf("Failed to open %s", flv_path);
        report("cannot open %s: %s", flv_path, std::strerror(run.rec.error));
        return EXIT_RUN_FAILED;
    }
    run.base_name = slide_base_name(run.rec.path);
    run.cues = read_cues(cue_path);

    if (enter_tag_stream(run)) {
        for (;;) {
            std::uint8_t prev_tag_size[PREV_TAG_SIZE_LEN];
            if (read_bytes(run.rec, prev_tag_size, PREV_TAG_SIZE_LEN) < PREV_TAG_SIZE_LEN)
                break;
            const std::uint64_t tag_offset = in_offset(run.rec);
            const std::size_t header_len = read_bytes(run.rec, run.tag, TAG_HEADER_SIZE);
            if (header_len < TAG_HEADER_SIZE) {
                if (header_len > 0 && run.rec.error == 0)
                    report("warning: %s: the recording ends inside the tag header at byte offset %llu; "
                           "the partial header is ignored",
                           run.rec.path.c_str(), static_cast<unsigned long long>(tag_offset));
                break;
            }

            const std::uint32_t t = get_be(run.tag + TAG_TIMESTAMP_POS, 3);
            const std::uint32_t data_size = get_be(run.tag + TAG_DATA_SIZE_POS, 3);
            if (!split_test(run, t))
                return fail_run(run);
            const tag_outcome outcome = route_tag(run, t, data_size);
            if (outcome == tag_outcome::failed)
                return fail_run(run);
            if (outcome == tag_outcome::cut_off) {
                report("warning: %s: the recording ends inside the tag at byte offset %llu; "
                       "the bytes that are there are copied",
                       run.rec.path.c_str(), static_cast<unsigned long long>(tag_offset));
                break;
            }
        }
    }
    if (run.rec.error != 0)
        return fail_run(run);

    if (!close_slide_files(run)) {
        close_in(run.rec);
        return EXIT_RUN_FAILED;
    }
    close_in(run.rec);
    std::printf("Program complete.");
    std::fflush(stdout);
    return EXIT_DONE;
}
