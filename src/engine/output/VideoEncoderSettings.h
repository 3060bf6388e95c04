#pragma once
// How a new video stream's encoder is set up from the task's settings: header placement, the
// picture (rate, size, aspect, pixel format) and rate control.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "engine/options/TaskSettings.h"

// The sample aspect ratio that shows a width x height picture at the display aspect.
AVRational SampleAspect(float aspect, int width, int height);
// The codec tag and where the stream's headers go: global when asked or when the format wants it.
void SetVideoHeaderFlags(AVCodecContext &c, const AVOutputFormat &format, const TTaskSettings &S);
// Rate, size with the padding, display aspect and pixel format of the encoded picture.
void SetVideoPicture(AVCodecContext &c, const AVCodec *codec, const TTaskSettings &S);
// Quantizer, matrices, rate overrides and passes of a video encoder.
void SetVideoRateControl(AVCodecContext &c, const TTaskSettings &S);
