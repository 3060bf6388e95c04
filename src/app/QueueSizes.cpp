// The queue panel's estimated sizes: each row's output with the chosen profile, and the total. Rows
// show the guess first and the size their samples measure once the background has encoded them.
#include "app/QueuePanel.h"

#include "app/QueueColumns.h"
#include "convert/ConvertUnt.h"
#include "convert/SizeSampling.h"
#include "convert/SizeTarget.h"

#include <QMetaObject>
#include <QTreeWidget>

using namespace queue_columns;

namespace {
// A row's data in its size cell: the key of the samples it waits for, and the bytes it shows.
constexpr int WaitedSamplesRole = Qt::UserRole;
constexpr int ShownBytesRole = Qt::UserRole + 1;
} // namespace

int64_t TQueuePanel::ShowEstimates(int profile) {
  FEstimateProfile = profile;
  std::vector<TSampleJob> jobs;
  int64_t total = 0;
  for (int p = 0; p < lvFileList->topLevelItemCount() && p < FConvert.Files.Count(); ++p)
    total += ShowRowEstimate(p, profile, jobs);
  Sampling().Want(std::move(jobs));
  return total;
}

int64_t TQueuePanel::ShowEstimate(int position, int profile) {
  FEstimateProfile = profile;
  std::vector<TSampleJob> jobs;
  const int64_t bytes = ShowRowEstimate(position, profile, jobs);
  for (TSampleJob &job : jobs)
    Sampling().Add(std::move(job));
  return bytes;
}

int64_t TQueuePanel::ShowRowEstimate(int position, int profile, std::vector<TSampleJob> &jobs) {
  int64_t bytes = 0;
  std::optional<TSampleJob> job;
  try {
    bytes = profile >= 0 ? FConvert.EstimatedBytes(position, profile, &job) : 0;
  } catch (const std::exception &) {
    // An unreadable profile item is told when converting; here it has no estimate.
  }
  QTreeWidgetItem *row = lvFileList->topLevelItem(position);
  row->setText(colEstimate, bytes > 0 ? QString::fromStdString(MegabytesText(bytes)) : QString("-"));
  const bool target = FConvert.Files[position].TargetBytes > 0;
  row->setToolTip(colEstimate,
                  target ? "Fitted to its target size"
                  : job  ? "Estimated output size; samples of the file are being encoded to measure it"
                         : "Estimated output size");
  row->setData(colEstimate, WaitedSamplesRole, job ? QString::fromStdString(job->Key) : QString());
  row->setData(colEstimate, ShownBytesRole, QVariant::fromValue<qint64>(bytes));
  if (job)
    jobs.push_back(std::move(*job));
  return bytes;
}

void TQueuePanel::TakeSamples() {
  if (!FSampling)
    return;
  int64_t change = 0;
  for (TSizeSampling::TResult &result : FSampling->Take()) {
    // Samples that failed keep the guess, and are not encoded again.
    FConvert.Samples[result.Key] = result.Rates.value_or(TSampledRates{});
    const QString key = QString::fromStdString(result.Key);
    for (int p = 0; p < lvFileList->topLevelItemCount() && p < FConvert.Files.Count(); ++p) {
      const QTreeWidgetItem *row = lvFileList->topLevelItem(p);
      if (row->data(colEstimate, WaitedSamplesRole).toString() != key)
        continue;
      const int64_t before = row->data(colEstimate, ShownBytesRole).toLongLong();
      std::vector<TSampleJob> none;
      change += ShowRowEstimate(p, FEstimateProfile, none) - before;
    }
  }
  if (change != 0)
    emit SampledSize(change);
}

TSizeSampling &TQueuePanel::Sampling() {
  if (!FSampling) {
    // Told on the worker's thread; the rows are shown on the window's.
    FSampling = std::make_unique<TSizeSampling>([this] {
      QMetaObject::invokeMethod(
          this, [this] { TakeSamples(); }, Qt::QueuedConnection);
    });
    FSampling->Hold(FConverting);
  }
  return *FSampling;
}

void TQueuePanel::SetConverting(bool converting) {
  FConverting = converting;
  if (FSampling)
    FSampling->Hold(converting);
}
