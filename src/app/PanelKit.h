#pragma once
// What the main window's panels make their controls with: named buttons, labels and actions, and the
// installation's pictures.
#include <QPixmap>
#include <QRect>
#include <QString>

class QAction;
class QLabel;
class QObject;
class QToolButton;
class QWidget;

namespace panels {

// A file of the installation, by its path relative to the program's folder.
QString ExePath(const char *relative);
// A picture of the installation. A missing one leaves its control without a picture: the program stays
// usable, and the message on stderr says which file the installation lacks.
QPixmap LoadPicture(const char *relative);

QToolButton *NewButton(QWidget *parent, const char *name, QAction *action, const QRect &geometry,
                       Qt::ToolButtonStyle style);
QLabel *NewLabel(QWidget *parent, const char *name, const QString &caption, const QRect &geometry);
// An action named for its field; an empty hint leaves the tooltip to Qt.
QAction *NewAction(QObject *parent, const char *name, const char *caption, const char *hint);

} // namespace panels
