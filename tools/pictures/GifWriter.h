#pragma once
// A small GIF89a writer for the animated pictures of the installation (Qt reads GIF but cannot write it).
#include <QImage>
#include <QList>
#include <QString>

// Writes the frames as an animation that loops for ever, each shown for delayCs hundredths of a second.
// Colours are mapped to the 6x6x6 web cube; pixels less than half opaque become transparent.
// All frames must have the size of the first. False when the file cannot be written.
bool WriteAnimatedGif(const QString &path, const QList<QImage> &frames, int delayCs);
