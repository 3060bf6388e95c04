// The queue panel's estimated sizes: each row's output with the chosen profile, and the total.
#include "app/QueuePanel.h"

#include "app/QueueColumns.h"
#include "convert/ConvertUnt.h"
#include "convert/SizeTarget.h"

#include <QTreeWidget>

using namespace queue_columns;

int64_t TQueuePanel::ShowEstimates(int profile) {
  int64_t total = 0;
  for (int p = 0; p < lvFileList->topLevelItemCount() && p < FConvert.Files.Count(); ++p)
    total += ShowEstimate(p, profile);
  return total;
}

int64_t TQueuePanel::ShowEstimate(int position, int profile) {
  int64_t bytes = 0;
  try {
    bytes = profile >= 0 ? FConvert.EstimatedBytes(position, profile) : 0;
  } catch (const std::exception &) {
    // An unreadable profile item is told when converting; here it has no estimate.
  }
  QTreeWidgetItem *row = lvFileList->topLevelItem(position);
  row->setText(colEstimate, bytes > 0 ? QString::fromStdString(MegabytesText(bytes)) : QString("-"));
  const bool target = FConvert.Files[position].TargetBytes > 0;
  row->setToolTip(colEstimate, target ? "Fitted to its target size" : "Estimated output size");
  return bytes;
}
