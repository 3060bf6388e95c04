// The queue panel's estimated sizes: each row's output with the chosen profile, and the total.
#include "app/QueuePanel.h"

#include "app/QueueColumns.h"
#include "convert/ConvertUnt.h"
#include "convert/SizeTarget.h"

#include <QTreeWidget>

using namespace queue_columns;

int64_t TQueuePanel::ShowEstimates(int profile) {
  int64_t total = 0;
  for (int p = 0; p < lvFileList->topLevelItemCount() && p < FConvert.Files.Count(); ++p) {
    QTreeWidgetItem *row = lvFileList->topLevelItem(p);
    int64_t bytes = 0;
    try {
      bytes = profile >= 0 ? FConvert.EstimatedBytes(p, profile) : 0;
    } catch (const std::exception &) {
      // An unreadable profile item is told when converting; here it has no estimate.
    }
    total += bytes;
    row->setText(colEstimate, bytes > 0 ? QString::fromStdString(MegabytesText(bytes)) : QString("-"));
    const bool target = FConvert.Files[p].TargetBytes > 0;
    row->setToolTip(colEstimate, target ? "Fitted to its target size" : "Estimated output size");
  }
  return total;
}
