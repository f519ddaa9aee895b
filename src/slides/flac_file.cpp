// .flac slide files: "fLaC" and the STREAMINFO block of the most recent
// SequenceStart, then the slide's FLAC frames as they stand.
#include "codecs/flac.h"
#include "slides/audio_kinds.h"

void start_flac_file(audio_slide& slide, const audio_stream& stream)
{
    const std::vector<std::uint8_t> header = flac_file_header(stream.start);
    write_bytes(slide.out, header.data(), header.size());
}
