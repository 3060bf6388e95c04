#include "app/PanelKit.h"

#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/Shell.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QToolButton>

#include <cstdio>

namespace panels {

QString ExePath(const char *relative) {
  return QString::fromStdString(platform::ExeFolder()) + relative;
}

QPixmap LoadPicture(const char *relative) {
  QPixmap picture;
  if (!picture.load(ExePath(relative)))
    std::fprintf(stderr, "tavrelle: missing picture %s\n", qPrintable(ExePath(relative)));
  return picture;
}

QIcon LoadIcon(const char *relative, bool keepWhenSelected) {
  const QString path = ExePath(relative);
  if (!QFile::exists(path)) {
    std::fprintf(stderr, "tavrelle: missing picture %s\n", qPrintable(path));
    return QIcon();
  }
  QIcon icon(path);
  if (keepWhenSelected)
    icon.addFile(path, QSize(), QIcon::Selected);
  return icon;
}

QToolButton *NewButton(QWidget *parent, const char *name, QAction *action, const QSize &minimum,
                       Qt::ToolButtonStyle style) {
  auto *button = new QToolButton(parent);
  button->setObjectName(name);
  button->setDefaultAction(action);
  button->setToolButtonStyle(style);
  button->setMinimumSize(minimum);
  if (style == Qt::ToolButtonIconOnly)
    button->setAccessibleName(action->toolTip());
  return button;
}

QLabel *NewLabel(QWidget *parent, const char *name, const QString &caption) {
  auto *label = new QLabel(caption, parent);
  label->setObjectName(name);
  return label;
}

QAction *NewAction(QObject *parent, const char *name, const char *caption, const char *hint) {
  auto *action = new QAction(caption, parent);
  action->setObjectName(name);
  // Buttons show the caption as written; the derived icon text would drop a trailing "...".
  action->setIconText(caption);
  if (*hint)
    action->setToolTip(hint);
  return action;
}

void SetShortcuts(QAction *action, const QList<QKeySequence> &keys) {
  action->setShortcuts(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  if (!keys.isEmpty())
    action->setToolTip(action->toolTip() + " (" + keys.front().toString(QKeySequence::NativeText) + ")");
}

void OpenOrSay(const std::string &path) {
  if (!platform::Shell().Open(path))
    platform::ShowMessage("\"" + path + "\" could not be opened: no program to open it was found.",
                          platform::TMsgIcon::Warning);
}

} // namespace panels
