// Where a decoder may begin, as a coded frame's own units tell it. A
// container's keyframe flag is set on every random access point an encoder
// reports; what decoding from there gives differs by what the frame is.
#pragma once

enum class access_kind {
    unknown, // the units do not tell (cut short, or a codec without such units): the flag is taken at its word
    none,    // no random access point at all
    clean,   // nothing after it refers to anything before it: H.264 IDR, HEVC IDR or BLA, a shown AV1 key frame, VP9 key frame
    open,    // pictures decoded after it but shown before it (leading pictures) may refer to pictures before it:
             // an H.264 I picture that is no IDR, an HEVC CRA
    recovery // the pictures are right only some frames later: an H.264 recovery point on a picture that is not intra
};

struct random_access {
    access_kind kind = access_kind::unknown;
    unsigned recovery_frames = 0; // of a recovery point: the frames, this one first, until the pictures are right
};
