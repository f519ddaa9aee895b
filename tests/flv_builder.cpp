#include "flv_builder.h"

#include <fstream>
#include <iterator>
#include <random>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

static void put_be(bytes& out, std::uint32_t value, int length)
{
    for (int i = length - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

static std::uint32_t be(const bytes& in, std::size_t pos, int length)
{
    std::uint32_t v = 0;
    for (int i = 0; i < length; ++i)
        v = (v << 8) | in[pos + static_cast<std::size_t>(i)];
    return v;
}

bytes flv_header(std::uint32_t data_offset)
{
    bytes h = {'F', 'L', 'V', 1, 5};
    put_be(h, data_offset, 4);
    return h;
}

void append_tag(bytes& out, const test_tag& tag)
{
    out.push_back(tag.type);
    put_be(out, static_cast<std::uint32_t>(tag.data.size()), 3);
    put_be(out, tag.ts & 0xFFFFFF, 3);
    out.push_back(tag.ext);
    put_be(out, 0, 3);
    out.insert(out.end(), tag.data.begin(), tag.data.end());
    put_be(out, static_cast<std::uint32_t>(11 + tag.data.size()), 4);
}

bytes make_recording(const std::vector<test_tag>& tags, std::uint32_t data_offset)
{
    bytes out = flv_header(data_offset);
    out.resize(data_offset, 0xAB);
    put_be(out, 0, 4);
    for (const test_tag& tag : tags)
        append_tag(out, tag);
    return out;
}

bytes tag_data(std::size_t size, std::uint32_t seed, std::uint8_t first)
{
    std::mt19937 gen(seed);
    bytes data(size);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(gen());
    if (size > 0)
        data[0] = first;
    return data;
}

std::vector<test_tag> six_hour_tags()
{
    // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, mono: 417 bytes, all-zero side
    // information and main data decode as silence.
    bytes frame(1 + 417, 0);
    frame[0] = 0x2E; // FLV: MP3, 44 kHz, 16 bit, mono
    frame[1] = 0xFF, frame[2] = 0xFB, frame[3] = 0x90, frame[4] = 0xC0;
    std::vector<test_tag> tags;
    for (std::uint32_t t = 10000; t < 6 * 3600 * 1000; t += 20000)
        for (std::uint32_t ts : {t, t + 26})
            tags.push_back({8, ts & 0xFFFFFF, static_cast<std::uint8_t>(ts >> 24), frame});
    return tags;
}

parsed_flv parse_flv(const bytes& file)
{
    parsed_flv p;
    if (file.size() < 13)
        return p;
    p.header.assign(file.begin(), file.begin() + 9);
    if (be(file, 9, 4) != 0)
        return p;
    std::size_t pos = 13;
    while (pos + 11 <= file.size()) {
        test_tag tag{file[pos], be(file, pos + 4, 3), file[pos + 7], {}};
        const std::size_t size = be(file, pos + 1, 3);
        if (pos + 11 + size + 4 > file.size())
            return p;
        tag.data.assign(file.begin() + static_cast<long>(pos + 11), file.begin() + static_cast<long>(pos + 11 + size));
        p.prev_sizes.push_back(be(file, pos + 11 + size, 4));
        p.tags.push_back(tag);
        pos += 11 + size + 4;
    }
    p.well_formed = pos == file.size();
    static const bytes name = {2, 0, 10, 'o', 'n', 'M', 'e', 't', 'a', 'D', 'a', 't', 'a'};
    if (!p.tags.empty() && p.tags[0].type == 18 && full_ts(p.tags[0]) == 0 && p.tags[0].data.size() >= name.size() &&
        std::equal(name.begin(), name.end(), p.tags[0].data.begin())) {
        p.metadata = p.tags[0].data;
        p.tags.erase(p.tags.begin());
        p.prev_sizes.erase(p.prev_sizes.begin());
    }
    return p;
}

bytes without_metadata(const bytes& slide)
{
    if (slide.size() < 13 + 11)
        return slide;
    const std::size_t tag_size = 11 + be(slide, 13 + 1, 3) + 4;
    bytes rest(slide.begin(), slide.begin() + 13);
    if (13 + tag_size <= slide.size())
        rest.insert(rest.end(), slide.begin() + static_cast<long>(13 + tag_size), slide.end());
    return rest;
}

bytes read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const bytes& content)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                static_cast<std::streamsize>(content.size()));
}

void write_text(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

static std::string quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

static std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

run_result run_slidecut(const std::vector<std::string>& args, const std::string& prefix)
{
    const fs::path out = fs::temp_directory_path() / ("slidecut_out_" + std::to_string(::getpid()));
    const fs::path err = fs::temp_directory_path() / ("slidecut_err_" + std::to_string(::getpid()));
    std::string command = prefix + quoted(SLIDECUT_BINARY);
    for (const std::string& a : args)
        command += " " + quoted(a);
    command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
    const int raw = std::system(command.c_str());
    run_result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    fs::remove(out);
    fs::remove(err);
    return r;
}

static void collect(const split_event& event, void* context)
{
    auto& outcome = *static_cast<split_outcome*>(context);
    if (event.kind == split_event_kind::slide_begun)
        outcome.begun.push_back(event.slide);
    else if (event.kind == split_event_kind::warning)
        outcome.warnings += event.text + "\n";
}

split_outcome split_here(const fs::path& rec, const fs::path& cue, bool separate)
{
    split_outcome outcome;
    outcome.result = split_flv(rec.string().c_str(), cue.string().c_str(), separate, collect, &outcome);
    return outcome;
}

fs::path make_scratch_dir(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("slidecut_test_" + std::to_string(::getpid())) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

bytes hex(const char* text)
{
    bytes out;
    for (const char* p = text; p[0] != '\0' && p[1] != '\0'; p += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}
