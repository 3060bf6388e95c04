#include "GifWriter.h"

#include <QFile>

#include <cstdint>
#include <vector>

namespace {

constexpr int CubeColours = 216;
constexpr uint8_t TransparentIndex = CubeColours; // the first entry after the cube
constexpr int MinCodeSize = 8;
constexpr int ClearCode = 1 << MinCodeSize;
constexpr int EndCode = ClearCode + 1;
// Only literal codes are written, so the decoder's table grows by one entry per code. Clearing it
// well before it reaches 512 entries keeps every code 9 bits wide for every decoder.
constexpr int LiteralsPerClear = 200;

int CubeLevel(int channel) {
  return (channel * 5 + 127) / 255;
}

uint8_t PaletteIndex(QRgb pixel) {
  if (qAlpha(pixel) < 128)
    return TransparentIndex;
  return static_cast<uint8_t>(CubeLevel(qRed(pixel)) * 36 + CubeLevel(qGreen(pixel)) * 6 +
                              CubeLevel(qBlue(pixel)));
}

class TByteSink {
public:
  void Byte(int b) { Data.push_back(static_cast<char>(b & 0xFF)); }
  void Word(int w) {
    Byte(w);
    Byte(w >> 8);
  }
  void Text(const char *s) {
    while (*s)
      Byte(*s++);
  }
  std::vector<char> Data;
};

// Packs codes least significant bit first and cuts the stream into sub-blocks of at most 255 bytes.
class TCodeWriter {
public:
  explicit TCodeWriter(TByteSink &sink) : FSink(sink) {}
  void Code(int code, int bits) {
    FBuffer |= static_cast<uint32_t>(code) << FCount;
    FCount += bits;
    while (FCount >= 8) {
      Push(static_cast<uint8_t>(FBuffer & 0xFF));
      FBuffer >>= 8;
      FCount -= 8;
    }
  }
  void Finish() {
    if (FCount > 0)
      Push(static_cast<uint8_t>(FBuffer & 0xFF));
    FlushBlock();
    FSink.Byte(0); // block terminator
  }

private:
  void Push(uint8_t b) {
    FBlock.push_back(b);
    if (FBlock.size() == 255)
      FlushBlock();
  }
  void FlushBlock() {
    if (FBlock.empty())
      return;
    FSink.Byte(static_cast<int>(FBlock.size()));
    for (uint8_t b : FBlock)
      FSink.Byte(b);
    FBlock.clear();
  }
  TByteSink &FSink;
  std::vector<uint8_t> FBlock;
  uint32_t FBuffer = 0;
  int FCount = 0;
};

void WriteImageData(TByteSink &sink, const QImage &frame) {
  const QImage argb = frame.convertToFormat(QImage::Format_ARGB32);
  sink.Byte(MinCodeSize);
  TCodeWriter codes(sink);
  const int bits = MinCodeSize + 1;
  int sinceClear = LiteralsPerClear;
  for (int y = 0; y < argb.height(); ++y) {
    const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      if (sinceClear == LiteralsPerClear) {
        codes.Code(ClearCode, bits);
        sinceClear = 0;
      }
      codes.Code(PaletteIndex(line[x]), bits);
      ++sinceClear;
    }
  }
  codes.Code(EndCode, bits);
  codes.Finish();
}

} // namespace

bool WriteAnimatedGif(const QString &path, const QList<QImage> &frames, int delayCs) {
  if (frames.isEmpty())
    return false;
  const int width = frames.first().width(), height = frames.first().height();
  for (const auto &frame : frames)
    if (frame.width() != width || frame.height() != height)
      return false;

  TByteSink sink;
  sink.Text("GIF89a");
  sink.Word(width);
  sink.Word(height);
  sink.Byte(0xF7); // global colour table of 256 entries, 8 bits per primary
  sink.Byte(TransparentIndex);
  sink.Byte(0);
  for (int i = 0; i < 256; ++i) {
    const bool cube = i < CubeColours;
    sink.Byte(cube ? i / 36 * 51 : 0);
    sink.Byte(cube ? i / 6 % 6 * 51 : 0);
    sink.Byte(cube ? i % 6 * 51 : 0);
  }
  // Loop for ever.
  sink.Byte(0x21);
  sink.Byte(0xFF);
  sink.Byte(11);
  sink.Text("NETSCAPE2.0");
  sink.Byte(3);
  sink.Byte(1);
  sink.Word(0);
  sink.Byte(0);

  for (const auto &frame : frames) {
    sink.Byte(0x21); // graphic control: restore to background, transparent index in use
    sink.Byte(0xF9);
    sink.Byte(4);
    sink.Byte(0x09);
    sink.Word(delayCs);
    sink.Byte(TransparentIndex);
    sink.Byte(0);
    sink.Byte(0x2C); // image descriptor covering the whole screen, no local colour table
    sink.Word(0);
    sink.Word(0);
    sink.Word(width);
    sink.Word(height);
    sink.Byte(0);
    WriteImageData(sink, frame);
  }
  sink.Byte(0x3B);

  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return false;
  return file.write(sink.Data.data(), static_cast<qint64>(sink.Data.size())) ==
         static_cast<qint64>(sink.Data.size());
}
