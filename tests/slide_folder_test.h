// A fixture with a scratch folder of its own holding talk.flv and talk.cue,
// removed after the test.
#pragma once

#include "flv_builder.h"

#include <gtest/gtest.h>

class slide_folder_test : public ::testing::Test {
protected:
    std::filesystem::path dir, rec, cue;

    void SetUp() override
    {
        dir = make_scratch_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        rec = dir / "talk.flv";
        cue = dir / "talk.cue";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Writes the recording and the cue file, then cuts them in this process.
    split_outcome cut(const bytes& recording, const std::string& cues, bool separate = false)
    {
        write_file(rec, recording);
        write_text(cue, cues);
        return split_here(rec, cue, separate);
    }
    std::filesystem::path slide_path(int n, const char* ext = "flv") const
    {
        return dir / ("talk_" + std::to_string(n) + "." + ext);
    }
};
