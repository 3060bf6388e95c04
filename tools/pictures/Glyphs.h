#pragma once
// The pictures of the installation, drawn by code so that every one of them is our own.
#include <QImage>
#include <QList>

namespace glyphs {

// Buttons of the main window.
QImage AddFile(int size);
QImage AddFolder(int size);
QImage EditFile(int size);
QImage About(int size);
QImage Convert(int size);
QImage Remove(int size);
QImage Clear(int size);
QImage MoveUp(int size);
QImage MoveDown(int size);
QImage Play(int size);
QImage Stop(int size);
QImage Previous(int size);
QImage Next(int size);
QImage Snapshot(int size);
QImage Open(int size);
QImage SnapOption(int size);

// The skin's arrow of drop-down lists, enabled and disabled; drawn at twice the size it shows at.
QImage DropDown(int size, bool enabled);

// Row and profile images of the queue: audio and video.
QImage Audio(int size);
QImage Video(int size);

// Buttons of the edit window.
QImage PlaySection(int size);
QImage MarkIn(int size);
QImage MarkOut(int size);

// Larger pictures.
// rightRoom: the width at the right end the texts leave free.
QImage Banner(int width, int height, int rightRoom = 8);
QImage PreviewIdle(int width, int height);
QImage AboutPicture(int width, int height);

// The program's icon on the desktop: a film strip with the convert badge.
QImage AppIcon(int size);

// The frames of the progress window's animation.
QList<QImage> ConvertingFrames(int size, int count);

} // namespace glyphs
