#include "slides/slide_name.h"

std::string slide_base_name(const std::string& recording_path)
{
    const std::size_t slash = recording_path.find_last_of("/\\");
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t ext = recording_path.find(".flv", name_start);
    return ext == std::string::npos ? recording_path : recording_path.substr(0, ext);
}

std::string slide_file_name(const std::string& base_name, std::int32_t cur_slide, const char* ext)
{
    return base_name + "_" + std::to_string(cur_slide) + "." + ext;
}
