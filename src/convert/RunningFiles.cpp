#include "convert/RunningFiles.h"

#include <QHeaderView>
#include <QProgressBar>

namespace {

constexpr int TaskRole = Qt::UserRole;

} // namespace

TRunningFiles::TRunningFiles(QWidget *parent) : QTreeWidget(parent) {
  setColumnCount(3);
  setHeaderLabels({"File", "Progress", "Converted"});
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::Stretch);
  header()->resizeSection(1, 90);
  header()->resizeSection(2, 120);
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
    if (OnChoose)
      OnChoose(item->data(0, TaskRole).toInt());
  });
}

QTreeWidgetItem *TRunningFiles::RowOf(int task) const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (topLevelItem(i)->data(0, TaskRole).toInt() == task)
      return topLevelItem(i);
  return nullptr;
}

void TRunningFiles::ShowTask(int task, const QString &name, int percent, const QString &length) {
  QTreeWidgetItem *row = RowOf(task);
  if (!row) {
    row = new QTreeWidgetItem();
    row->setData(0, TaskRole, task);
    // Rows stay in the order of the files.
    int at = 0;
    while (at < topLevelItemCount() && topLevelItem(at)->data(0, TaskRole).toInt() < task)
      ++at;
    insertTopLevelItem(at, row);
    auto *bar = new QProgressBar(this);
    bar->setRange(0, 100);
    setItemWidget(row, 1, bar);
  }
  row->setText(0, name);
  row->setToolTip(0, name);
  row->setText(2, length);
  static_cast<QProgressBar *>(itemWidget(row, 1))->setValue(percent);
}

void TRunningFiles::DropTask(int task) { delete RowOf(task); }

int TRunningFiles::FirstTask() const { return topLevelItemCount() > 0 ? topLevelItem(0)->data(0, TaskRole).toInt() : -1; }
