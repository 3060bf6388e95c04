// Program entry of Tavrelle Video Converter. No argument is read.
#include "app/AppDialogs.h"
#include "app/PreviewWnd.h"
#include "app/TvlApplication.h"
#include "app/TvlMainFrm.h"
#include "platform/Dialogs.h"
#include "platform/SingleInstance.h"
#include "platform/qt/QtDispatch.h"

#include <memory>

namespace {
// Exit code when the media libraries cannot be bound.
constexpr int ExitLibrariesMissing = 1;
} // namespace

int main(int argc, char **argv) {
  // Held until the process ends: the lock marks the running instance.
  const platform::SingleInstance instance("TVLVIDEOConverter");
  // A message box needs the application object, so it comes before the refusal.
  TTvlApplication app(argc, argv);
  InstallDialogs();
  if (instance.AlreadyExists()) {
    platform::ShowMessage(std::string(platform::ApplicationTitle) + " is currently running!",
                          platform::TMsgIcon::Warning);
    return 0;
  }
  platform::SetMainThread(std::make_unique<platform::TQtDispatch>());
  SetPreviewWindowFactory([] { return std::make_unique<TPreviewWnd>(); });
  TTvlMainForm form;
  // The user has been told that the installation is broken; the window never shows.
  if (!form.LibrariesLoaded())
    return ExitLibrariesMissing;
  form.show();
  return app.exec();
}
