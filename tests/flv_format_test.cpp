// The typed tag header against its 11 bytes, reads at offsets, and patches
// to written output.
#include "flv/flv_format.h"
#include "flv_builder.h"
#include "io/byte_stream.h"

#include <gtest/gtest.h>

namespace {

TEST(TagHeader, DecodesAndEncodesEveryField)
{
    struct header_case {
        bytes raw;
        tag_header tag;
    };
    const header_case cases[] = {
        {{9, 0, 0, 0x2A, 0, 0, 0x28, 0, 0, 0, 0}, {9, 42, 40, 0}},
        // TimestampExtended is the timestamp's high byte.
        {{8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x12, 0x34, 0x56}, {8, 0xFFFFFF, 0x7FFFFFFF, 0x123456}},
        {{18, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x01, 0, 0, 1}, {18, 0x010203, 0x01040506, 1}},
    };
    for (const header_case& c : cases) {
        const tag_header got = decode_tag_header(c.raw.data());
        EXPECT_EQ(got.type, c.tag.type);
        EXPECT_EQ(got.data_size, c.tag.data_size);
        EXPECT_EQ(got.timestamp, c.tag.timestamp);
        EXPECT_EQ(got.stream_id, c.tag.stream_id);
        bytes encoded(TAG_HEADER_SIZE);
        encode_tag_header(c.tag, encoded.data());
        EXPECT_EQ(encoded, c.raw);
    }
}

// A patch lands where it is asked to, whether its bytes are still buffered,
// already written to the file, or both; later writes still go to the end.
TEST(OutStream, PatchesWrittenBytes)
{
    const auto path = make_scratch_dir("patch") / "out.bin";
    struct patch_case {
        std::size_t written;
        std::uint64_t offset;
    };
    const patch_case cases[] = {
        {100, 10},                            // in the buffer
        {OUT_BUFFER_SIZE + 100, 10},          // in the file
        {OUT_BUFFER_SIZE + 100, OUT_BUFFER_SIZE - 2}, // across the two
    };
    for (const patch_case& c : cases) {
        const bytes content = tag_data(c.written, 7);
        const bytes patch = {1, 2, 3, 4};
        out_stream out;
        ASSERT_TRUE(open_out(out, path.string()));
        for (std::size_t i = 0; i < c.written; i += 1000)
            write_bytes(out, content.data() + i, std::min<std::size_t>(1000, c.written - i));
        EXPECT_TRUE(patch_out(out, c.offset, patch.data(), patch.size()));
        EXPECT_FALSE(patch_out(out, c.written - 2, patch.data(), patch.size())) << "past the end";
        write_bytes(out, patch.data(), patch.size());
        ASSERT_TRUE(close_out(out));

        bytes expected = content;
        std::copy(patch.begin(), patch.end(), expected.begin() + static_cast<long>(c.offset));
        expected.insert(expected.end(), patch.begin(), patch.end());
        EXPECT_EQ(read_file(path), expected) << c.written << " at " << c.offset;
    }
}

// Reads at any offset return the file's bytes, whichever way the stream gets
// there: from its buffer, reading on, or jumping ahead or back.
TEST(InStream, ReadsAtAnyOffset)
{
    const auto path = make_scratch_dir("read_at") / "in.bin";
    const bytes content = tag_data(300000, 3);
    write_file(path, content);
    struct read_case {
        std::uint64_t offset;
        std::size_t count;
        const char* how;
    };
    const read_case reads[] = {
        {0, 27, "first read"},          {100, 27, "in the buffer"},
        {16384 + 500, 27, "read on"},   {200000, 27, "jump ahead"},
        {200000 + 1500, 3000, "read on after a jump"},
        {250000, 20000, "jump with more than the buffer"},
        {5000, 27, "jump back"},        {299990, 27, "cut off by the end"},
        {400000, 27, "past the end"},
    };
    in_stream in;
    ASSERT_TRUE(open_in(in, path.string(), 16 * 1024));
    for (const read_case& r : reads) {
        bytes got(r.count);
        got.resize(read_at(in, r.offset, got.data(), r.count));
        const std::size_t from = std::min<std::size_t>(r.offset, content.size());
        const std::size_t to = std::min<std::size_t>(r.offset + r.count, content.size());
        EXPECT_EQ(got, bytes(content.begin() + static_cast<long>(from), content.begin() + static_cast<long>(to))) << r.how;
    }
    EXPECT_EQ(in.error, 0);
    close_in(in);
}

}  // namespace
