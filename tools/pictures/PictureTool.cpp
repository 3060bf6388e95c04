// Draws the pictures of the installation into <folder>/VideoRes and <folder>/MKVRes, or, with --icons,
// the program's desktop icon into <folder>/hicolor/<size>x<size>/apps/<name>.png.
// Usage: tvl-pictures <install folder> | tvl-pictures --icons <folder> <name>
#include "GifWriter.h"
#include "Glyphs.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <functional>
#include <string_view>

namespace {

struct TPicture {
  const char *File;
  // Draws the picture at a scale: 1, and 2 for screens at twice the scale when TwiceToo.
  std::function<QImage(int scale)> Draw;
  bool TwiceToo = true;
};

QList<TPicture> VideoResPictures() {
  using namespace glyphs;
  const int picture = 32, speed = 20, edit = 32, row = 16;
  return {
      {"MainImage.png", [](int) { return Banner(730, 60); }, false},
      {"About.png", [](int s) { return About(24 * s); }},
      {"Convert.png", [](int s) { return Convert(40 * s); }},
      {"AddFolder.png", [=](int s) { return AddFolder(picture * s); }},
      {"AddFile.png", [=](int s) { return AddFile(picture * s); }},
      {"EditFile.png", [=](int s) { return EditFile(picture * s); }},
      {"Remove.png", [=](int s) { return Remove(speed * s); }},
      {"Clear.png", [=](int s) { return Clear(speed * s); }},
      {"MoveUp.png", [=](int s) { return MoveUp(speed * s); }},
      {"MoveDown.png", [=](int s) { return MoveDown(speed * s); }},
      {"Play.png", [=](int s) { return Play(speed * s); }},
      {"Stop.png", [=](int s) { return Stop(speed * s); }},
      {"Previous.png", [=](int s) { return Previous(speed * s); }},
      {"Next.png", [=](int s) { return Next(speed * s); }},
      {"Snapshot.png", [=](int s) { return Snapshot(speed * s); }},
      {"Open.png", [=](int s) { return Open(speed * s); }},
      {"SnapOption.png", [=](int s) { return SnapOption(speed * s); }},
      {"MainPreview.png", [](int) { return PreviewIdle(280, 220); }, false},
      {"AboutImage.png", [](int) { return AboutPicture(380, 110); }, false},
      {"EPlay.png", [=](int s) { return Play(edit * s); }},
      {"EStop.png", [=](int s) { return Stop(edit * s); }},
      {"EPlaySection.png", [=](int s) { return PlaySection(edit * s); }},
      {"Start.png", [=](int s) { return MarkIn(edit * s); }},
      {"End.png", [=](int s) { return MarkOut(edit * s); }},
      {"ListAudio.png", [=](int s) { return Audio(row * s); }},
      {"ListVideo.png", [=](int s) { return Video(row * s); }},
      // Drawn at twice the size the skin shows them at already.
      {"DropDown.png", [](int) { return DropDown(24, true); }, false},
      {"DropDownOff.png", [](int) { return DropDown(24, false); }, false},
  };
}

// "Play.png" at scale 2 is "Play@2x.png": the name Qt looks for on screens at twice the scale.
QString FileAtScale(const char *file, int scale) {
  QString name = QString::fromLatin1(file);
  if (scale > 1)
    name.insert(name.lastIndexOf('.'), QString("@%1x").arg(scale));
  return name;
}

// The sizes desktops look for in the hicolor theme.
constexpr int IconSizes[] = {16, 24, 32, 48, 64, 128, 256};

int DrawIcons(const QDir &root, const QString &name) {
  int failures = 0;
  for (const int size : IconSizes) {
    const QString folder = QString("hicolor/%1x%1/apps").arg(size);
    const QString path = root.filePath(folder + "/" + name + ".png");
    if (!root.mkpath(folder) || !glyphs::AppIcon(size).save(path, "PNG")) {
      std::fprintf(stderr, "tvl-pictures: cannot write %s\n", qPrintable(path));
      ++failures;
    }
  }
  return failures ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
  const bool icons = argc == 4 && std::string_view(argv[1]) == "--icons";
  if (argc != 2 && !icons) {
    std::fprintf(stderr, "usage: tvl-pictures <install folder> | tvl-pictures --icons <folder> <name>\n");
    return 2;
  }
  // Text needs a GUI application; no display is needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (icons)
    return DrawIcons(QDir(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3]));
  const QDir root(QString::fromLocal8Bit(argv[1]));
  if (!root.mkpath("VideoRes") || !root.mkpath("MKVRes")) {
    std::fprintf(stderr, "tvl-pictures: cannot create the picture folders in %s\n", argv[1]);
    return 1;
  }
  int failures = 0;
  for (const auto &picture : VideoResPictures()) {
    for (const int scale : {1, 2}) {
      if (scale > 1 && !picture.TwiceToo)
        continue;
      const QString path = root.filePath("VideoRes/" + FileAtScale(picture.File, scale));
      if (!picture.Draw(scale).save(path, "PNG")) {
        std::fprintf(stderr, "tvl-pictures: cannot write %s\n", qPrintable(path));
        ++failures;
      }
    }
  }
  const QString gif = root.filePath("MKVRes/Converting.gif");
  if (!WriteAnimatedGif(gif, glyphs::ConvertingFrames(48, 8), 10)) {
    std::fprintf(stderr, "tvl-pictures: cannot write %s\n", qPrintable(gif));
    ++failures;
  }
  return failures ? 1 : 0;
}
