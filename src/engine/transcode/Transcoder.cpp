// The transcode's setup order: input tables, stream mapping, codecs, headers; then the loop.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/FFmpegException.h"
#include "engine/filter/DisplayTurn.h"
#include "engine/transcode/Transcoder.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVInline.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"

void TCustomFFmpeg::Transcode() { TTranscoder(*this).Transcode(); }

TTranscoder::TTranscoder(TCustomFFmpeg &task) : FTask(task), S(task.S) {}

AVFormatContext *TTranscoder::OutputContext(const TOutputStreamState &ost) const {
  return FTask.FOutputFiles[static_cast<size_t>(ost.FileIndex)].Context.get();
}

AVFormatContext *TTranscoder::InputContext(int fileIndex) const {
  return FTask.FInputFiles[static_cast<size_t>(fileIndex)].Context.get();
}

void TTranscoder::Fail(const std::string &message, int dumpOutput) {
  if (dumpOutput >= 0) {
    AVFormatContext *context = FTask.FOutputFiles[static_cast<size_t>(dumpOutput)].Context.get();
    AVFormat.av_dump_format(context, dumpOutput, context->url, 1);
  }
  throw FFmpegException(message);
}

void TTranscoder::Transcode() {
  BuildInputTables();
  CheckOutputs();
  MapStreams();
  int number = 0;
  for (auto &ost : FOutputStreams) {
    PrepareStream(*ost);
    OpenTwoPassLog(*ost, number++);
  }
  for (size_t i = 0; i < FTask.FOutputFiles.size(); ++i)
    AVFormat.av_dump_format(FTask.FOutputFiles[i].Context.get(), static_cast<int>(i),
                            FTask.FOutputFiles[i].Context->url, 1);
  LogStreamMapping();
  PrepareHooks();
  OpenEncoders();
  OpenDecoders();
  for (auto &ist : FInputStreams) {
    ist->Pts = 0;
    ist->NextPts = AV_NOPTS_VALUE;
    ist->AtStart = 1;
  }
  CopyMetaData();
  WriteHeaders();
  FTimerStart = AVUtil.av_gettime();
  FInputSeconds = InputSeconds();
  MainLoop();
  Finish();
}

void TTranscoder::BuildInputTables() {
  for (size_t f = 0; f < FTask.FInputFiles.size(); ++f) {
    TOpenedInput &file = FTask.FInputFiles[f];
    TInputFileState state;
    state.FirstStream = static_cast<int>(FInputStreams.size());
    state.StreamCount = static_cast<int>(file.Context->nb_streams);
    FFiles.push_back(state);
    for (unsigned i = 0; i < file.Context->nb_streams; ++i) {
      auto ist = std::make_unique<TInputStreamState>();
      ist->FileIndex = static_cast<int>(f);
      ist->StreamIndex = static_cast<int>(i);
      ist->Stream = file.Context->streams[i];
      ist->Decoder = i < file.Decoders.size() ? file.Decoders[i].get() : nullptr;
      ist->Picture = NewFrame();
      if (S.RateEmu)
        ist->WallStart = AVUtil.av_gettime();
      FInputStreams.push_back(std::move(ist));
    }
  }
}
