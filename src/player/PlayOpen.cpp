#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "media/SwResampleStubs.h"
#include "player/FFPlay.h"
#include "player/LibSDL.h"
#include "player/PlayCore.h"

namespace {

void Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// How long opening a file may wait for the library (a stalled network share): then it gives up.
constexpr int64_t OpenDeadlineMicroseconds = 5'000'000;

// Lets a blocking wait of the library give up once the playback is being ended, or once its bound
// has passed.
int InterruptCallback(void *opaque) {
  const auto *context = static_cast<const PlayContext *>(opaque);
  const int64_t deadline = context->IoDeadline;
  return context->AbortRequest || (deadline != 0 && NowMicroseconds() > deadline) ? 1 : 0;
}

// The image-sequence demuxer, and the single-picture demuxers this library generation opens
// picture files with ("jpeg_pipe", "png_pipe", …).
bool IsImageDemuxer(const std::string &name) {
  return name == "image2" || name == "image2pipe" || (name.size() > 5 && name.ends_with("_pipe"));
}

std::string Named(const PlayContext *context, const char *text) { return context->FileName + std::string(text); }

// Opens the file and its streams; false with the owner's LastError set.
bool OpenInput(PlayContext *context) {
  TCustomPlayer &owner = *context->Owner;
  AVFormatContext *input = AVFormat.avformat_alloc_context();
  if (!input) {
    owner.SetLastError(OpenErrorText(context->FileName, AVERROR(ENOMEM)));
    return false;
  }
  input->interrupt_callback = AVIOInterruptCB{InterruptCallback, context};
  context->IoDeadline = NowMicroseconds() + OpenDeadlineMicroseconds;
  AVDictionary *options = nullptr;
  if (owner.FrameWidth() > 0 && owner.FrameHeight() > 0)
    AVUtil.av_dict_set(&options, "video_size",
                       (std::to_string(owner.FrameWidth()) + "x" + std::to_string(owner.FrameHeight())).c_str(), 0);
  const int opened = AVFormat.avformat_open_input(&input, context->FileName, nullptr, &options);
  AVUtil.av_dict_free(&options);
  if (opened < 0) { // the library freed the context
    owner.SetLastError(OpenErrorText(context->FileName, opened));
    return false;
  }
  context->Input = input;
  int found;
  {
    std::lock_guard guard(CodecLock());
    found = AVFormat.avformat_find_stream_info(input, nullptr);
  }
  if (found < 0) {
    owner.SetLastError(Named(context, ": could not find codec parameters"));
    return false;
  }
  context->IoDeadline = 0;
  if (input->pb)
    input->pb->eof_reached = 0;
  context->IsImageSequence = IsImageDemuxer(input->iformat->name);

  // Each kind counts its own streams: a subtitle or data stream never hides a video or audio one.
  // Cover pictures of audio files are not video.
  int audioIndex = -1;
  int videoIndex = -1;
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    AVStream *stream = input->streams[i];
    stream->discard = AVDISCARD_ALL;
    const AVMediaType type = stream->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO && audioIndex < 0 && !owner.DisableAudio())
      audioIndex = static_cast<int>(i);
    else if (type == AVMEDIA_TYPE_VIDEO && videoIndex < 0 && !owner.DisableVideo() &&
             !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
      videoIndex = static_cast<int>(i);
  }
  if (audioIndex >= 0)
    OpenStream(context, audioIndex);
  if (videoIndex >= 0)
    OpenStream(context, videoIndex);
  if (context->VideoStreamIndex < 0 && !owner.DisableDisplay())
    context->ShowWaveform = true;
  if (context->AudioStreamIndex < 0 && context->VideoStreamIndex < 0) {
    owner.SetLastError(Named(context, ": could not open codecs, no stream to play."));
    return false;
  }
  return true;
}

void SeekInput(PlayContext *context, bool &endOfFile) {
  AVFormatContext *input = context->Input;
  const int index = context->VideoStreamIndex >= 0 ? context->VideoStreamIndex : context->AudioStreamIndex;
  const int64_t target =
      AVUtil.av_rescale_q(context->SeekTarget, AVRational{1, AV_TIME_BASE}, input->streams[index]->time_base);
  int result = AVFormat.av_seek_frame(input, index, target, context->SeekFlags);
  // No key picture at or after the target (a seek to the very end): the last one before it.
  if (result < 0 && !(context->SeekFlags & AVSEEK_FLAG_BACKWARD))
    result = AVFormat.av_seek_frame(input, index, target, AVSEEK_FLAG_BACKWARD);
  if (result >= 0) {
    const int round = ++context->SeekRound;
    for (TPacketQueue *queue : {&context->AudioQueue, &context->VideoQueue})
      if ((queue == &context->AudioQueue ? context->AudioStreamIndex : context->VideoStreamIndex) >= 0) {
        queue->Flush();
        queue->Put(const_cast<AVPacket *>(context->Owner->FlushPacket()));
      }
    context->ShowRound = context->Paused ? round : -1;
  }
  context->EndReported = false;
  endOfFile = false;
  context->InputEnded = false;
  ++context->EndRound;
  context->SeekRequest = false;
  // Logged once the seek is taken up: a pause waiting for it may hold the thread the message goes to.
  if (result < 0)
    context->Owner->Log(ltError, Named(context, ": error while seeking"));
}

void ReadLoop(PlayContext *context) {
  AVFormatContext *input = context->Input;
  bool endOfFile = false;
  bool drainQueued = false;
  while (!context->AbortRequest) {
    if (context->Paused != context->LastPaused) {
      context->LastPaused = context->Paused;
      if (context->LastPaused)
        AVFormat.av_read_pause(input);
      else
        AVFormat.av_read_play(input);
    }
    if (context->SeekRequest) {
      SeekInput(context, endOfFile);
      drainQueued = false;
    }
    if (context->AudioQueue.Size() > AudioQueueLimit || context->VideoQueue.Size() > VideoQueueLimit) {
      Sleep(10);
      continue;
    }
    if (endOfFile) {
      // One empty packet makes the video decoder give up the pictures it still holds.
      if (context->VideoStreamIndex >= 0 && !drainQueued) {
        AVPacket *drain = AVCodecLib.av_packet_alloc();
        if (drain) {
          drain->stream_index = context->VideoStreamIndex;
          context->VideoQueue.Put(drain);
          drainQueued = true;
        }
      }
      Sleep(10);
      continue;
    }
    AVPacket *packet = AVCodecLib.av_packet_alloc();
    if (!packet) {
      Sleep(10);
      continue;
    }
    const int result = AVFormat.av_read_frame(input, packet);
    if (result < 0) {
      AVCodecLib.av_packet_free(&packet);
      const int ioError = input->pb ? input->pb->error : 0;
      if (!context->IsImageSequence && !context->EndReported) {
        context->EndReported = true;
        // A source that stops being readable (a drive pulled out) is no end of the file: it says why.
        context->Owner->Log(ltError, ioError < 0 && ioError != AVERROR_EOF
                                         ? Named(context, ": read error: ") + AVErrorText(ioError)
                                         : Named(context, ": error or end of file"));
      }
      // After a read error the playback ends as at the end of the file; a seek reads again.
      if ((ioError < 0 && ioError != AVERROR_EOF) || result == AVERROR_EOF ||
          (input->pb && AVFormat.avio_feof(input->pb))) {
        endOfFile = true;
        context->InputEnded = true;
      } else
        Sleep(100);
      continue;
    }
    if (packet->stream_index == context->AudioStreamIndex)
      context->AudioQueue.Put(packet);
    else if (packet->stream_index == context->VideoStreamIndex)
      context->VideoQueue.Put(packet);
    else
      AVCodecLib.av_packet_free(&packet);
  }
}

} // namespace

PlayContext *OpenPlayback(TCustomPlayer &owner, const std::string &fileName) {
  PlayContext *context = new (std::nothrow) PlayContext(&owner, owner.FlushPacket());
  if (!context) {
    owner.Log(ltError, "av_mallocz() failed.", true);
    return nullptr;
  }
  AVUtil.av_strlcpy(context->FileName, fileName.c_str(), sizeof context->FileName);
  ScheduleRefresh(context, 40);
  try {
    context->ReadThread = std::thread(ReadThread, context);
  } catch (const std::system_error &) {
    owner.Log(ltError, "SDL_CreateThread() failed.", true);
    delete context;
    return nullptr;
  }
  // Messages the read thread logs while opening reach the host on this thread.
  while (context->OpenState == 0) {
    owner.DeliverPendingLog();
    owner.MainThreadCalls().Serve();
    Sleep(10);
  }
  owner.DeliverPendingLog();
  if (context->OpenState >= 1)
    return context;
  context->ReadThread.join(); // returns once everything is released
  delete context;
  return nullptr;
}

void ClosePlayback(PlayContext *context) {
  context->AbortRequest = true;
  if (context->ReadThread.joinable())
    context->ReadThread.join();
  TQueuedPicture &picture = context->Picture;
  std::lock_guard overlay(picture.OverlayLock);
  if (picture.Texture)
    SDLLib.SDL_DestroyTexture(picture.Texture);
  picture.Texture = nullptr;
  AVUtil.av_freep(&picture.Data[0]);
}

void ReadThread(PlayContext *context) {
  if (OpenInput(context)) {
    context->OpenState = 1;
    ReadLoop(context);
  }
  if (context->OpenState != 1)
    context->OpenState = -1;
  CloseStream(context, context->AudioStreamIndex);
  CloseStream(context, context->VideoStreamIndex);
  if (context->Input)
    AVFormat.avformat_close_input(&context->Input);
  if (context->OpenState == -1)
    context->OpenState = -2;
  // SDL keeps per-thread data (its error text) that only its own threads release by themselves.
  SDLLib.SDL_TLSCleanup();
}

int OpenStream(PlayContext *context, int streamIndex) {
  AVFormatContext *input = context->Input;
  if (streamIndex < 0 || streamIndex >= static_cast<int>(input->nb_streams))
    return -1;
  AVStream *stream = input->streams[streamIndex];
  const AVCodec *codec = AVCodecLib.avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext *decoder = codec ? AVCodecLib.avcodec_alloc_context3(codec) : nullptr;
  bool opened = decoder && AVCodecLib.avcodec_parameters_to_context(decoder, stream->codecpar) >= 0;
  if (opened) {
    decoder->pkt_timebase = stream->time_base;
    decoder->workaround_bugs = FF_BUG_AUTODETECT;
    decoder->err_recognition = AV_EF_CAREFUL;
    decoder->error_concealment = FF_EC_GUESS_MVS | FF_EC_DEBLOCK;
    decoder->thread_count = 1;
    std::lock_guard guard(CodecLock());
    opened = AVCodecLib.avcodec_open2(decoder, codec, nullptr) >= 0;
  }
  if (!opened) {
    context->Owner->Log(ltError, "avcodec_open() failed.");
    AVCodecLib.avcodec_free_context(&decoder);
    return -1;
  }
  const bool audio = decoder->codec_type == AVMEDIA_TYPE_AUDIO;
  if (audio) {
    context->AudioCodec = decoder;
    context->AudioStreamIndex = streamIndex;
    context->AudioStream = stream;
    if (OpenAudioDevice(context) < 0) {
      context->AudioCodec = nullptr;
      context->AudioStreamIndex = -1;
      context->AudioStream = nullptr;
      std::lock_guard guard(CodecLock());
      AVCodecLib.avcodec_free_context(&decoder);
      return -1;
    }
  }
  stream->discard = AVDISCARD_DEFAULT;
  if (audio) {
    context->AudioStartTime = stream->start_time == AV_NOPTS_VALUE
                                  ? -1
                                  : AVUtil.av_rescale_q(stream->start_time, stream->time_base,
                                                        AVRational{1, AV_TIME_BASE});
    context->AudioBufferSize = 0;
    context->AudioBufferIndex = 0;
    context->AudioFrame = AVUtil.av_frame_alloc();
    SDLLib.SDL_PauseAudioDevice(context->AudioDevice, 0);
  } else {
    context->VideoCodec = decoder;
    context->VideoStreamIndex = streamIndex;
    context->VideoStream = stream;
    context->FrameLastDelay = 0.04;
    context->FrameTimer = NowMicroseconds() / 1e6;
    context->VideoCurrentPtsTime = NowMicroseconds();
    context->VideoDecodeThread = std::thread(VideoDecodeThread, context);
  }
  return 0;
}

void CloseStream(PlayContext *context, int streamIndex) {
  if (streamIndex < 0)
    return;
  AVCodecContext *decoder;
  if (streamIndex == context->VideoStreamIndex) {
    context->VideoQueue.Abort();
    {
      std::lock_guard guard(context->PictureMutex);
      context->PictureCondition.notify_all();
    }
    if (context->VideoDecodeThread.joinable())
      context->VideoDecodeThread.join();
    context->VideoQueue.Flush();
    decoder = context->VideoCodec;
    context->VideoCodec = nullptr;
    context->VideoStreamIndex = -1;
  } else {
    context->AudioQueue.Abort();
    SDLLib.SDL_CloseAudioDevice(context->AudioDevice);
    context->AudioDevice = 0;
    context->AudioQueue.Flush();
    SwResample.swr_free(&context->AudioConverter);
    AVUtil.av_frame_free(&context->AudioFrame);
    decoder = context->AudioCodec;
    context->AudioCodec = nullptr;
    context->AudioStreamIndex = -1;
    context->AudioStartTime = -1;
  }
  context->Input->streams[streamIndex]->discard = AVDISCARD_ALL;
  std::lock_guard guard(CodecLock());
  AVCodecLib.avcodec_free_context(&decoder);
}
