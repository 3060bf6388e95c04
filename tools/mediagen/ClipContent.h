#pragma once
// What the generated clips show and sound like: moving patterns, grey ramps in SDR, PQ or HLG, and
// tones, written straight into the encoder's frames.
#include <cstdint>

#include "ClipWriter.h"

struct AVFrame;

// A pattern that moves from frame to frame; planar YUV of any subsampling and depth.
void FillPicture(AVFrame *f, int64_t index, const TStreamPlan &plan);
// A 440 Hz tone at the level (or bursts), in whichever sample format the encoder takes.
void FillTone(AVFrame *f, int64_t firstSample, TContent content, double level);
