#pragma once
// What the main window's panels make their controls with: named buttons, labels and actions, and the
// installation's pictures.
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <string>

class QAction;
class QKeySequence;
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
// A button's or row's picture as an icon: its "@2x" drawing beside it serves screens at twice the
// scale. keepWhenSelected: a selected row shows it as it is (the style would tint it).
QIcon LoadIcon(const char *relative, bool keepWhenSelected = false);

// A button of the action, at least of the given size: the size the window had before it grew. A button
// showing only its picture is named for readers of the screen by the action's hint.
QToolButton *NewButton(QWidget *parent, const char *name, QAction *action, const QSize &minimum,
                       Qt::ToolButtonStyle style);
QLabel *NewLabel(QWidget *parent, const char *name, const QString &caption);
// An action named for its field; an empty hint leaves the tooltip to Qt.
QAction *NewAction(QObject *parent, const char *name, const char *caption, const char *hint);
// Gives the action its keys and names the first in its hint: "Add Folder to Convert (Ctrl+Shift+O)".
void SetShortcuts(QAction *action, const QList<QKeySequence> &keys);

// Opens a folder, page or document with the desktop's programs; when none can be started the user is
// told, with the path.
void OpenOrSay(const std::string &path);

} // namespace panels
