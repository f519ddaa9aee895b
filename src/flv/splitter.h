// The run: cut an FLV recording into slide files at the cue file's times.
#pragma once

// Exit statuses of the tool.
constexpr int EXIT_DONE = 0;
constexpr int EXIT_RUN_FAILED = 1;
constexpr int EXIT_BAD_COMMAND_LINE = 2;

// Runs once from clean state; returns EXIT_DONE or EXIT_RUN_FAILED. In
// separate mode audio payload goes to .mp3 slide files, video to .flv ones.
int split_flv(const char* flv_path, const char* cue_path, bool separate_audio);
