#pragma once
// Encoders, frames and a packet collector for the output-path tests, on the system's libraries.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/LibraryObjects.h"
#include "media/AVCodecStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

class TPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    FFLoader.LibraryPath.clear();
    ASSERT_TRUE(FFLoader.LoadLibraries(EngineLibraries)) << FFLoader.LastError();
    AVUtil.av_log_set_level(AV_LOG_QUIET);
  }

  static TCodecContextPtr AudioEncoder(const char *name, int rate, int channels) {
    const AVCodec *codec = AVCodecLib.avcodec_find_encoder_by_name(name);
    EXPECT_NE(codec, nullptr) << name;
    TCodecContextPtr enc(AVCodecLib.avcodec_alloc_context3(codec));
    enc->sample_rate = rate;
    enc->sample_fmt = codec->sample_fmts[0];
    enc->time_base = AVRational{1, rate};
    enc->bit_rate = 64000 * channels;
    AVUtil.av_channel_layout_default(&enc->ch_layout, channels);
    EXPECT_EQ(AVCodecLib.avcodec_open2(enc.get(), codec, nullptr), 0) << name;
    return enc;
  }

  static TCodecContextPtr VideoEncoder(const char *name, int width, int height, AVRational timeBase,
                                       AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    const AVCodec *codec = AVCodecLib.avcodec_find_encoder_by_name(name);
    EXPECT_NE(codec, nullptr) << name;
    TCodecContextPtr enc(AVCodecLib.avcodec_alloc_context3(codec));
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = format;
    enc->time_base = timeBase;
    enc->gop_size = 12;
    enc->thread_count = 1;
    EXPECT_EQ(AVCodecLib.avcodec_open2(enc.get(), codec, nullptr), 0) << name;
    return enc;
  }

  // Interleaved or planar samples from value(sample, channel), stored in the format's own type.
  template <typename T, typename F>
  static TFramePtr AudioFrame(AVSampleFormat format, int rate, int channels, int samples, F value) {
    TFramePtr frame = NewFrame();
    frame->format = format;
    frame->sample_rate = rate;
    frame->nb_samples = samples;
    AVUtil.av_channel_layout_default(&frame->ch_layout, channels);
    EXPECT_EQ(AVUtil.av_frame_get_buffer(frame.get(), 0), 0);
    const bool planar = AVUtil.av_sample_fmt_is_planar(format);
    for (int s = 0; s < samples; ++s)
      for (int c = 0; c < channels; ++c) {
        T *plane = reinterpret_cast<T *>(frame->extended_data[planar ? c : 0]);
        plane[planar ? s : s * channels + c] = value(s, c);
      }
    return frame;
  }

  // A picture whose luma is pattern(x, y) and whose chroma is flat grey.
  template <typename F> static TFramePtr Picture(int width, int height, F pattern, AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    TFramePtr frame = NewFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    EXPECT_EQ(AVUtil.av_frame_get_buffer(frame.get(), 0), 0);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        frame->data[0][y * frame->linesize[0] + x] = pattern(x, y);
    for (int p = 1; p < 3; ++p)
      for (int y = 0; y < (height + 1) / 2; ++y)
        for (int x = 0; x < (width + 1) / 2; ++x)
          frame->data[p][y * frame->linesize[p] + x] = 128;
    return frame;
  }

  // Collects written packets (size and pts) and the log.
  struct TCollector {
    std::vector<std::pair<int, int64_t>> Packets;
    std::vector<std::pair<int, std::string>> Logs;
    int64_t Bytes = 0;
    bool Logged(const std::string &prefix) const {
      for (const auto &line : Logs)
        if (line.second.rfind(prefix, 0) == 0)
          return true;
      return false;
    }
  };
};
