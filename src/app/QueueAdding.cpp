// The queue panel's adding in the background: requests wait their turn, files are probed off the
// window's thread and their rows are added a slice at a time.
#include "app/QueuePanel.h"

#include "convert/ConvertUnt.h"
#include "convert/QueueFiller.h"
#include "media/InputFileKind.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QMimeData>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>
#include <utility>

namespace {
// How often paths handed over while a dialog is open try again.
constexpr int PendingRetryMs = 300;
} // namespace

void TQueuePanel::AddFiles(const std::vector<std::string> &paths) {
  FAddRequests.push_back({paths, {}});
  StartNextAdd();
}

void TQueuePanel::AddFolder(std::string folder) {
  if (folder.empty())
    return;
  if (folder.back() != '/')
    folder += '/';
  FAddRequests.push_back({{}, std::move(folder)});
  StartNextAdd();
}

bool TQueuePanel::Adding() const {
  return FFiller != nullptr;
}

void TQueuePanel::EndAdding() {
  FAddRequests.clear();
  FFiller.reset();
}

void TQueuePanel::StartNextAdd() {
  if (FFiller || FAddRequests.empty())
    return;
  TAddRequest request = std::move(FAddRequests.front());
  FAddRequests.pop_front();
  FFolderAdd = !request.Folder.empty();
  FLoaded = FFailed = 0;
  FFirstAdded = -1;
  FFailures.clear();
  FFiller = FFolderAdd ? TQueueFiller::ForFolder(request.Folder)
                       : std::make_unique<TQueueFiller>(std::move(request.Paths));
  pbAdding->setRange(0, 0); // busy until the number of files is known
  pnlAdding->raise();
  pnlAdding->show();
  emit Changed();
  FAddTimer->start();
}

void TQueuePanel::AddProbedFiles() {
  if (FAddingRows || FConverting || !FFiller)
    return;
  FAddingRows = true;
  const auto done = qScopeGuard([this] { FAddingRows = false; });
  // A slice of rows per tick: the window paints and answers between slices.
  QElapsedTimer slice;
  slice.start();
  while (slice.elapsed() < 15) {
    if (FProbedNext >= FProbed.size()) {
      FProbed = FFiller->Take();
      FProbedNext = 0;
      if (FProbed.empty())
        break;
    }
    AddProbedFile(FProbed[FProbedNext++]);
  }
  SelectLastAdded();
  if (const int total = FFiller->Total(); total >= 0)
    pbAdding->setRange(0, total);
  pbAdding->setValue(FLoaded + FFailed);
  if (FProbedNext >= FProbed.size() && FFiller->Done())
    EndAdd();
}

void TQueuePanel::AddProbedFile(TProbedFile &probed) {
  const std::string &path = probed.Path;
  const int position = FConvert.AddProbed(path, std::move(probed.File));
  if (position < 0) {
    ++FFailed;
    const std::string special = NotRegularFileText(path); // a pipe or a device: say what it is
    FFailures.push_back(position != TTvlConvert::Unusable ? "\"" + path + "\" is already existing."
                        : special.empty()                 ? "Load failed.\"" + path + "\" is unsupported."
                                                          : special);
    return;
  }
  ++FLoaded;
  AddRow(FConvert.Files[position]);
  emit Filled();
  if (!FFolderAdd)
    FLastAdded = position;
  else if (FFirstAdded < 0)
    FFirstAdded = position;
}

void TQueuePanel::SelectLastAdded() {
  // Each new row of Add Files is selected in turn; selecting only the last of a slice shows the
  // same and keeps a long list from redrawing the selection row by row.
  if (FLastAdded >= 0)
    SelectRow(FLastAdded);
  FLastAdded = -1;
}

void TQueuePanel::EndAdd() {
  emit Edited();
  FAddTimer->stop();
  FFiller.reset();
  FProbed.clear();
  FProbedNext = 0;
  pnlAdding->hide();
  if (FFolderAdd && FFirstAdded >= 0)
    SelectRow(FFirstAdded);
  ReportAdd();
  emit Changed();
  StartNextAdd();
}

void TQueuePanel::ReportAdd() {
  std::string failures;
  for (const std::string &failure : FFailures)
    failures += (failures.empty() ? "" : "\n") + failure;
  const auto icon = FFailures.empty() ? platform::TMsgIcon::Information : platform::TMsgIcon::Warning;
  if (FFolderAdd)
    platform::ShowMessage(std::to_string(FLoaded) + " file(s) loaded, " + std::to_string(FFailed) +
                              " file(s) failed." + (failures.empty() ? "" : "\n\n" + failures),
                          icon);
  else if (!failures.empty())
    platform::ShowMessage(failures, icon);
}

void TQueuePanel::actStopAddingExecute() {
  // What was probed already is still added; nothing waiting starts.
  FAddRequests.clear();
  if (FFiller)
    FFiller->Stop();
}

void TQueuePanel::QueuePaths(const std::vector<std::string> &paths) {
  FPendingPaths.insert(FPendingPaths.end(), paths.begin(), paths.end());
  // Never while a run, a message or a dialog is open: the queue must not change under them.
  if (QApplication::activeModalWidget()) {
    if (!FRetryScheduled) {
      FRetryScheduled = true;
      QTimer::singleShot(PendingRetryMs, this, [this] {
        FRetryScheduled = false;
        QueuePaths({});
      });
    }
    return;
  }
  const std::vector<std::string> pending = std::exchange(FPendingPaths, {});
  // Folders as Add Folder does; the files between them together, as Add Files does.
  std::vector<std::string> files;
  for (const std::string &path : pending) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
      files.push_back(path);
      continue;
    }
    if (!files.empty())
      AddFiles(std::exchange(files, {}));
    AddFolder(path);
  }
  if (!files.empty())
    AddFiles(files);
}

bool TQueuePanel::eventFilter(QObject *watched, QEvent *event) {
  if (watched == lvFileList->viewport() && lvFileListDrop(event))
    return true;
  return QWidget::eventFilter(watched, event);
}

bool TQueuePanel::lvFileListDrop(QEvent *event) {
  const auto type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
    return false;
  auto *drop = static_cast<QDropEvent *>(event);
  std::vector<std::string> paths;
  for (const QUrl &url : drop->mimeData()->urls())
    if (url.isLocalFile())
      paths.push_back(url.toLocalFile().toStdString());
  if (paths.empty()) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  if (type == QEvent::Drop)
    // After the drop has ended: the source's drag must not wait on our messages.
    QTimer::singleShot(0, this, [this, paths] { QueuePaths(paths); });
  return true;
}
