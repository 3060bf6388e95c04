// Codec names of the options to the libraries' codecs, older encoder names included.
#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <mutex>

#include "engine/FFmpeg.h"
#include "engine/FFmpegException.h"
#include "engine/filter/DisplayTurn.h"
#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"
#include "media/AVUtilStubs.h"
#include "media/FFmpegLoader.h"
#include "media/InputFileKind.h"

namespace {

struct TLegacyName {
  const char *Name;
  const char *Successor;
};

// Encoder names of older library generations and the encoders that took their place, so profiles
// written for those libraries keep working.
constexpr TLegacyName LegacyEncoders[] = {{"libfaac", "aac"},
                                          {"libamr_nb", "libopencore_amrnb"},
                                          {"libamr_wb", "libopencore_amrwb"},
                                          {"mp3", "libmp3lame"},
                                          {"vorbis", "libvorbis"}};

// The encoder of that name. One the libraries lack, or have only as experimental, gives way to its
// successor when they have that; successor then names it.
const struct AVCodec *FindEncoder(const std::string &name, const char *&successor) {
  successor = nullptr;
  const struct AVCodec *codec = AVCodecLib.avcodec_find_encoder_by_name(name.c_str());
  if (codec && !(codec->capabilities & AV_CODEC_CAP_EXPERIMENTAL))
    return codec;
  for (const TLegacyName &legacy : LegacyEncoders)
    if (name == legacy.Name)
      if (const struct AVCodec *newer = AVCodecLib.avcodec_find_encoder_by_name(legacy.Successor)) {
        successor = legacy.Successor;
        return newer;
      }
  return codec;
}

} // namespace

const struct AVCodec *TCustomFFmpeg::LookupCodec(const std::string &name, AVMediaType type, bool encoder) {
  const char *kind = encoder ? "encoder" : "decoder";
  const char *successor = nullptr;
  const struct AVCodec *codec =
      encoder ? FindEncoder(name, successor) : AVCodecLib.avcodec_find_decoder_by_name(name.c_str());
  if (successor)
    Log(1, "Encoder '" + name + "' is not available; using its successor '" + successor + "'");
  if (!codec) {
    FErrorText = std::string("Unknown ") + kind + " '" + name + "'";
    return nullptr;
  }
  if (codec->type != type) {
    FErrorText = std::string("Invalid ") + kind + " type '" + name + "'";
    return nullptr;
  }
  return codec;
}

bool TCustomFFmpeg::HasEncoder(const std::string &name, AVMediaType type) {
  const char *successor = nullptr;
  const struct AVCodec *codec = FindEncoder(name, successor);
  return codec && codec->type == type;
}

bool TCustomFFmpeg::FindCodecId(const std::string &name, AVMediaType type, bool encoder, AVCodecID &id) {
  id = AV_CODEC_ID_NONE;
  if (name.empty())
    return true;
  const struct AVCodec *codec = LookupCodec(name, type, encoder);
  if (codec)
    id = codec->id;
  return codec != nullptr;
}
