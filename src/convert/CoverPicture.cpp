#include "convert/CoverPicture.h"

#include <cstdint>

#include "media/AVCodecStubs.h"
#include "media/AVFormatStubs.h"

namespace {

// Larger pictures would make the comment header too big for the players' page limits.
constexpr int MaxPictureBytes = 8 << 20;

void PutNumber(std::string &block, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    block += static_cast<char>((value >> shift) & 0xFF);
}

void PutText(std::string &block, const std::string &text) {
  PutNumber(block, static_cast<uint32_t>(text.size()));
  block += text;
}

} // namespace

std::string Base64(const std::string &bytes) {
  constexpr const char *Digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (left > 1)
      group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (left > 2)
      group |= static_cast<unsigned char>(bytes[i + 2]);
    out += Digits[(group >> 18) & 63];
    out += Digits[(group >> 12) & 63];
    out += left > 1 ? Digits[(group >> 6) & 63] : '=';
    out += left > 2 ? Digits[group & 63] : '=';
  }
  return out;
}

std::string PictureComment(const AVStream *cover) {
  const AVPacket &picture = cover->attached_pic;
  const AVCodecID codec = cover->codecpar->codec_id;
  const char *mime = codec == AV_CODEC_ID_MJPEG ? "image/jpeg" : codec == AV_CODEC_ID_PNG ? "image/png" : nullptr;
  if (!mime || !picture.data || picture.size <= 0 || picture.size > MaxPictureBytes)
    return "";
  std::string block;
  PutNumber(block, 3); // the front cover
  PutText(block, mime);
  PutText(block, "");
  PutNumber(block, static_cast<uint32_t>(cover->codecpar->width));
  PutNumber(block, static_cast<uint32_t>(cover->codecpar->height));
  PutNumber(block, 24); // bits per pixel
  PutNumber(block, 0);  // not an indexed picture
  PutText(block, std::string(reinterpret_cast<const char *>(picture.data), static_cast<std::size_t>(picture.size)));
  return Base64(block);
}
