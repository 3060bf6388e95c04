// Program entry of Tavrelle Video Converter. The arguments are files and folders to queue.
#include "app/AppDialogs.h"
#include "app/PreviewWnd.h"
#include "app/TvlApplication.h"
#include "app/QueuePanel.h"
#include "app/TvlMainFrm.h"
#include "platform/Dialogs.h"
#include "platform/Notifier.h"
#include "platform/Power.h"
#include "platform/SingleInstance.h"
#include "platform/qt/QtDBusServices.h"
#include "platform/qt/QtDispatch.h"
#include "platform/qt/QtInstanceChannel.h"
#include "platform/qt/QtSignals.h"

#include <QDir>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>

namespace {
// Exit code when the media libraries cannot be bound.
constexpr int ExitLibrariesMissing = 1;
constexpr const char *InstanceName = "TVLVIDEOConverter";
// How long a second start tries to reach the running program.
constexpr int HandOverTimeoutMs = 10000;

// Absolute paths, so that a running program with another working folder finds them. File managers
// may pass file URLs.
QStringList PathsOfArguments(const QStringList &arguments) {
  QStringList paths;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QUrl url(arguments[i]);
    const QString path = url.isLocalFile() ? url.toLocalFile() : arguments[i];
    if (!path.isEmpty())
      paths << QDir::cleanPath(QDir::current().absoluteFilePath(path));
  }
  return paths;
}

std::vector<std::string> ToStd(const QStringList &paths) {
  std::vector<std::string> result;
  for (const QString &path : paths)
    result.push_back(path.toStdString());
  return result;
}

} // namespace

int main(int argc, char **argv) {
  // Held until the process ends: the lock marks the running instance.
  const platform::SingleInstance instance(InstanceName);
  // A message box needs the application object, so it comes before the refusal.
  TTvlApplication app(argc, argv);
  InstallDialogs();
  const QStringList paths = PathsOfArguments(QCoreApplication::arguments());
  const QString channel = QString::fromStdString(platform::SingleInstance::ChannelPath(InstanceName));
  if (instance.AlreadyExists()) {
    // The running program queues the files; this start has nothing more to say.
    if (!paths.isEmpty() && platform::SendToRunningInstance(channel, paths, HandOverTimeoutMs))
      return 0;
    platform::ShowMessage(std::string(platform::ApplicationTitle) + " is currently running!",
                          platform::TMsgIcon::Warning);
    return 0;
  }
  platform::TInstanceServer server;
  // Without it a second start cannot hand over its files; this start works all the same.
  if (!server.Listen(channel))
    std::fprintf(stderr, "tavrelle: cannot listen on %s\n", qPrintable(channel));
  platform::SetMainThread(std::make_unique<platform::TQtDispatch>());
  platform::SetPower(std::make_unique<platform::TLogindPower>());
  platform::SetNotifier(std::make_unique<platform::TDBusNotifier>());
  SetPreviewWindowFactory([] { return std::make_unique<TPreviewWnd>(); });
  TTvlMainForm form;
  // The user has been told that the installation is broken; the window never shows.
  if (!form.LibrariesLoaded())
    return ExitLibrariesMissing;
  QObject::connect(&server, &platform::TInstanceServer::FilesReceived, &form,
                   [&form](const QStringList &files) { form.TakeHandedPaths(ToStd(files)); });
  const platform::TSignalWatcher endOfSession([&form] { form.EndSession(); });
  form.show();
  if (!paths.isEmpty())
    QTimer::singleShot(0, &form, [&form, &paths] { form.Queue->QueuePaths(ToStd(paths)); });
  return app.exec();
}
