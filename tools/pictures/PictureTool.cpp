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
  std::function<QImage()> Draw;
};

QList<TPicture> VideoResPictures() {
  using namespace glyphs;
  const int picture = 32, speed = 20, edit = 32, row = 16;
  return {
      {"MainImage.png", [] { return Banner(730, 60); }},
      {"About.png", [] { return About(24); }},
      {"Convert.png", [] { return Convert(40); }},
      {"AddFolder.png", [=] { return AddFolder(picture); }},
      {"AddFile.png", [=] { return AddFile(picture); }},
      {"EditFile.png", [=] { return EditFile(picture); }},
      {"Remove.png", [=] { return Remove(speed); }},
      {"Clear.png", [=] { return Clear(speed); }},
      {"MoveUp.png", [=] { return MoveUp(speed); }},
      {"MoveDown.png", [=] { return MoveDown(speed); }},
      {"Play.png", [=] { return Play(speed); }},
      {"Stop.png", [=] { return Stop(speed); }},
      {"Previous.png", [=] { return Previous(speed); }},
      {"Next.png", [=] { return Next(speed); }},
      {"Snapshot.png", [=] { return Snapshot(speed); }},
      {"Open.png", [=] { return Open(speed); }},
      {"SnapOption.png", [=] { return SnapOption(speed); }},
      {"MainPreview.png", [] { return PreviewIdle(280, 220); }},
      {"AboutImage.png", [] { return AboutPicture(380, 110); }},
      {"EPlay.png", [=] { return Play(edit); }},
      {"EStop.png", [=] { return Stop(edit); }},
      {"EPlaySection.png", [=] { return PlaySection(edit); }},
      {"Start.png", [=] { return MarkIn(edit); }},
      {"End.png", [=] { return MarkOut(edit); }},
      {"ListAudio.png", [=] { return Audio(row); }},
      {"ListVideo.png", [=] { return Video(row); }},
      {"DropDown.png", [] { return DropDown(24, true); }},
      {"DropDownOff.png", [] { return DropDown(24, false); }},
  };
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
    const QString path = root.filePath(QString("VideoRes/") + picture.File);
    if (!picture.Draw().save(path, "PNG")) {
      std::fprintf(stderr, "tvl-pictures: cannot write %s\n", qPrintable(path));
      ++failures;
    }
  }
  const QString gif = root.filePath("MKVRes/Converting.gif");
  if (!WriteAnimatedGif(gif, glyphs::ConvertingFrames(48, 8), 10)) {
    std::fprintf(stderr, "tvl-pictures: cannot write %s\n", qPrintable(gif));
    ++failures;
  }
  return failures ? 1 : 0;
}
