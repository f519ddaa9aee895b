#include "flv/amf.h"

#include "flv/flv_format.h"

#include <cstring>

namespace {

std::uint64_t double_bits(double value)
{
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value, "IEEE double");
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace

void amf_number(amf_buffer& out, double value)
{
    out.push_back(AMF_NUMBER);
    append_be(out, double_bits(value), 8);
}

void amf_boolean(amf_buffer& out, bool value)
{
    out.push_back(AMF_BOOLEAN);
    out.push_back(value ? 1 : 0);
}

void amf_string(amf_buffer& out, const std::string& value)
{
    if (value.size() > 0xFFFF) {
        out.push_back(AMF_LONG_STRING);
        append_be(out, value.size(), 4);
    } else {
        out.push_back(AMF_STRING);
        append_be(out, value.size(), 2);
    }
    out.insert(out.end(), value.begin(), value.end());
}

void amf_date(amf_buffer& out, double ms_since_epoch, std::int16_t time_zone)
{
    out.push_back(AMF_DATE);
    append_be(out, double_bits(ms_since_epoch), 8);
    append_be(out, static_cast<std::uint16_t>(time_zone), 2);
}

void amf_key(amf_buffer& out, const std::string& key)
{
    append_be(out, key.size(), 2);
    out.insert(out.end(), key.begin(), key.end());
}

void amf_object_start(amf_buffer& out)
{
    out.push_back(AMF_OBJECT);
}

void amf_ecma_array_start(amf_buffer& out, std::uint32_t count)
{
    out.push_back(AMF_ECMA_ARRAY);
    append_be(out, count, 4);
}

void amf_strict_array_start(amf_buffer& out, std::uint32_t count)
{
    out.push_back(AMF_STRICT_ARRAY);
    append_be(out, count, 4);
}

void amf_object_end(amf_buffer& out)
{
    append_be(out, 0, 2);
    out.push_back(AMF_OBJECT_END);
}

namespace {

// The onMetaData tag's data as the reader sees it: a budget of bytes left,
// and where each byte read goes (a value being kept, or nowhere).
struct amf_source {
    in_stream& in;
    std::uint64_t left;
    amf_buffer* keep = nullptr;
    bool ok = true;
};

// Values nested deeper than this are not followed.
constexpr int AMF_MAX_DEPTH = 16;
// A kept value larger than this is not carried.
constexpr std::size_t AMF_MAX_KEPT_VALUE = 64 * 1024;

bool take(amf_source& src, std::uint8_t* dst, std::size_t count)
{
    if (!src.ok || count > src.left || read_bytes(src.in, dst, count) < count) {
        src.ok = false;
        return false;
    }
    src.left -= count;
    if (src.keep != nullptr)
        src.keep->insert(src.keep->end(), dst, dst + count);
    return true;
}

std::uint32_t take_be(amf_source& src, int count)
{
    std::uint8_t bytes[4] = {};
    take(src, bytes, static_cast<std::size_t>(count));
    return get_be(bytes, static_cast<std::int8_t>(count));
}

// Skips (or keeps) count bytes of a string or document.
bool take_run(amf_source& src, std::uint64_t count)
{
    std::uint8_t chunk[256];
    while (count > 0 && src.ok) {
        const std::size_t n = count < sizeof chunk ? static_cast<std::size_t>(count) : sizeof chunk;
        take(src, chunk, n);
        count -= n;
    }
    return src.ok;
}

bool take_value(amf_source& src, int depth);

// Keys and values up to the empty key and the end marker.
bool take_object_body(amf_source& src, int depth)
{
    for (;;) {
        const std::uint32_t key_size = take_be(src, 2);
        if (!take_run(src, key_size))
            return false;
        if (key_size == 0) {
            std::uint8_t marker = 0;
            return take(src, &marker, 1) && marker == AMF_OBJECT_END;
        }
        if (!take_value(src, depth + 1))
            return false;
    }
}

bool take_value(amf_source& src, int depth)
{
    if (depth > AMF_MAX_DEPTH)
        return src.ok = false;
    std::uint8_t type = 0;
    if (!take(src, &type, 1))
        return false;
    switch (type) {
    case AMF_NUMBER: return take_run(src, 8);
    case AMF_BOOLEAN: return take_run(src, 1);
    case AMF_STRING: return take_run(src, take_be(src, 2));
    case AMF_OBJECT: return take_object_body(src, depth);
    case AMF_NULL:
    case AMF_UNDEFINED:
    case AMF_UNSUPPORTED: return true;
    case AMF_REFERENCE: return take_run(src, 2);
    case AMF_ECMA_ARRAY: return take_run(src, 4) && take_object_body(src, depth);
    case AMF_STRICT_ARRAY: {
        // Each value takes a byte at least, so the budget bounds any count.
        for (std::uint32_t n = take_be(src, 4); n > 0 && src.ok; --n)
            take_value(src, depth + 1);
        return src.ok;
    }
    case AMF_DATE: return take_run(src, 10);
    case AMF_LONG_STRING:
    case AMF_XML_DOCUMENT: return take_run(src, take_be(src, 4));
    default: return src.ok = false;
    }
}

// The entries of an ECMA array or object, up to the end marker; the count of
// an ECMA array is not trusted.
void take_entries(amf_source& src, amf_metadata& meta)
{
    for (;;) {
        amf_entry entry;
        const std::uint32_t key_size = take_be(src, 2);
        std::vector<std::uint8_t> key(key_size);
        if (!take(src, key.data(), key_size))
            break;
        if (key_size == 0)
            return; // the end marker may be missing; nothing is lost
        entry.key.assign(key.begin(), key.end());
        src.keep = &entry.value;
        const bool read = take_value(src, 1);
        src.keep = nullptr;
        if (!read)
            break;
        if (entry.value.size() <= AMF_MAX_KEPT_VALUE)
            meta.entries.push_back(std::move(entry));
    }
    meta.complete = false;
}

}  // namespace

bool is_on_metadata(const std::uint8_t* data, std::size_t available)
{
    static const std::uint8_t name[ON_METADATA_NAME_SIZE] = {AMF_STRING, 0, 10, 'o', 'n', 'M', 'e', 't', 'a', 'D', 'a', 't', 'a'};
    return available >= ON_METADATA_NAME_SIZE && std::memcmp(data, name, ON_METADATA_NAME_SIZE) == 0;
}

amf_metadata read_on_metadata(in_stream& in, std::uint32_t data_size)
{
    amf_metadata meta;
    amf_source src{in, data_size};
    take_run(src, ON_METADATA_NAME_SIZE);
    std::uint8_t type = 0;
    if (take(src, &type, 1) && (type == AMF_ECMA_ARRAY || type == AMF_OBJECT)) {
        if (type == AMF_ECMA_ARRAY)
            take_run(src, 4);
        take_entries(src, meta);
    } else {
        meta.complete = false;
    }
    // Whatever follows the array is not read; the tag is consumed whole.
    skip_bytes(in, src.left);
    return meta;
}

bool amf_number_value(const amf_entry& entry, double& value)
{
    if (entry.value.size() != 9 || entry.value[0] != AMF_NUMBER)
        return false;
    std::uint64_t bits = 0;
    for (int i = 1; i < 9; ++i)
        bits = bits << 8 | entry.value[static_cast<std::size_t>(i)];
    std::memcpy(&value, &bits, sizeof value);
    return true;
}
