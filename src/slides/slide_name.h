// Slide file names: <base>_<n>.flv and the audio files of separate mode
// (<base>_<n>.mp3, .aac, .opus, .flac, .ac3, .eac3) beside the recording.
#pragma once

#include <cstdint>
#include <string>

// The recording path up to the first ".flv" of its file-name part (after the
// last '/' or '\'); the whole path when that part holds no ".flv".
std::string slide_base_name(const std::string& recording_path);

// "%s_%i.%s" with the extension ("flv", "mp3", "aac", ...).
std::string slide_file_name(const std::string& base_name, std::int32_t cur_slide, const char* ext);

// Every extension a slide file may have.
constexpr const char* SLIDE_FILE_EXTS[] = {"flv", "mp3", "aac", "opus", "flac", "ac3", "eac3"};
