// The queue panel's rows and the results of runs: what each file's conversion gave, and why.
#include "app/QueuePanel.h"

#include "app/QueueColumns.h"
#include "convert/ConvertUnt.h"
#include "platform/Dialogs.h"

#include <QAction>
#include <QTreeWidget>

using namespace queue_columns;

void TQueuePanel::ClearResults(const std::function<bool(const TInputFile &)> &include) {
  for (int p = 0; p < lvFileList->topLevelItemCount(); ++p) {
    QTreeWidgetItem *row = lvFileList->topLevelItem(p);
    if (include && p < FConvert.Files.Count() && !include(FConvert.Files[p]))
      continue; // not part of this run: its result stays
    row->setText(colStatus, "-");
    row->setToolTip(colStatus, QString());
    row->setText(colDestination, QString());
    row->setToolTip(colDestination, QString());
  }
}

void TQueuePanel::ShowResults() {
  for (int p = 0; p < lvFileList->topLevelItemCount() && p < FConvert.Files.Count(); ++p) {
    const TInputFile &file = FConvert.Files[p];
    QTreeWidgetItem *row = lvFileList->topLevelItem(p);
    switch (file.Status) {
    case csSuccess:
      row->setText(colStatus, "Success");
      row->setText(colDestination, FileNameOf(file.OutputOptions.FileName));
      row->setToolTip(colDestination, ShownName(file.OutputOptions.FileName));
      // What was copied rather than encoded, and why a stream was not.
      row->setToolTip(colStatus, QString::fromStdString(file.StatusText));
      break;
    case csFailed:
      row->setText(colStatus, "Failed");
      // Why it failed: the engine's message, or why the file got no task in this run.
      row->setToolTip(colStatus, QString::fromStdString(file.StatusText.empty() ? "The conversion failed; no reason was given."
                                                                                 : file.StatusText));
      break;
    case csCanceled:
      row->setText(colStatus, "Canceled");
      break;
    case csMissing:
      row->setText(colStatus, "Missing");
      row->setToolTip(colStatus, QString::fromStdString(file.StatusText));
      break;
    default:
      // Not part of the run (beyond the cap, or the build was cancelled): why, when known.
      row->setText(colStatus, "-");
      row->setToolTip(colStatus, QString::fromStdString(file.StatusText));
      break;
    }
  }
  actStatusDetails->setEnabled(!SelectedStatusReason().isEmpty());
}

void TQueuePanel::ShowRecords() {
  for (int p = lvFileList->topLevelItemCount(); p < FConvert.Files.Count(); ++p)
    AddRow(FConvert.Files[p]);
  ShowResults();
  emit Changed();
}

QString TQueuePanel::SelectedStatusReason() const {
  const int position = SelectedPosition();
  return position < 0 ? QString() : lvFileList->topLevelItem(position)->toolTip(colStatus);
}

void TQueuePanel::actStatusDetailsExecute() {
  const QString reason = SelectedStatusReason();
  if (reason.isEmpty())
    return;
  const QTreeWidgetItem *row = lvFileList->topLevelItem(SelectedPosition());
  platform::ShowMessage((row->text(colSource) + " (" + row->text(colStatus) + "): " + reason).toStdString());
}
