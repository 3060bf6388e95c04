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

TTranscoder::TTranscoder(const TParts &parts)
    : FConfig(parts.Config), S(parts.Config.Settings), FInputs(parts.Inputs), FOutputs(parts.Outputs),
      FEvents(parts.Events), FStop(parts.Stop), FTimes(parts.Times) {}

AVFormatContext *TTranscoder::OutputContext(const TOutputStreamState &ost) const {
  return FOutputs.Files[static_cast<size_t>(ost.FileIndex)].Context.get();
}

AVFormatContext *TTranscoder::InputContext(int fileIndex) const {
  return FInputs.Files[static_cast<size_t>(fileIndex)].Context.get();
}

void TTranscoder::Fail(const std::string &message, int dumpOutput) {
  if (dumpOutput >= 0) {
    AVFormatContext *context = FOutputs.Files[static_cast<size_t>(dumpOutput)].Context.get();
    AVFormat.av_dump_format(context, dumpOutput, context->url, 1);
  }
  throw FFmpegException(message);
}

bool TTranscoder::Transcode() {
  BuildInputTables();
  CheckOutputs();
  MapStreams();
  int number = 0;
  for (auto &ost : FOutputStreams) {
    PrepareStream(*ost);
    OpenTwoPassLog(*ost, number++);
  }
  PrepareOverlay();
  for (size_t i = 0; i < FOutputs.Files.size(); ++i)
    AVFormat.av_dump_format(FOutputs.Files[i].Context.get(), static_cast<int>(i),
                            FOutputs.Files[i].Context->url, 1);
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
  CopyChapters();
  WriteHeaders();
  FTimerStart = AVUtil.av_gettime();
  FInputSeconds = InputSeconds();
  MainLoop();
  Finish();
  return !FStop.StopRequested();
}

void TTranscoder::BuildInputTables() {
  for (size_t f = 0; f < FInputs.Files.size(); ++f) {
    TOpenedInput &file = FInputs.Files[f];
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
