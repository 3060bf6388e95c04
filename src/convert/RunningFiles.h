#pragma once
// The files of a run that convert at the same moment, one row each: the output's name, its own bar
// and the converted length. Clicking a row chooses the file the window describes and shows.
#include <QTreeWidget>

#include <functional>

class TRunningFiles : public QTreeWidget {
public:
  explicit TRunningFiles(QWidget *parent = nullptr);

  // Shows or updates the task's row.
  void ShowTask(int task, const QString &name, int percent, const QString &length);
  // Takes the task's row away (it has ended).
  void DropTask(int task);
  // The task of the topmost row, or -1 when there is none.
  int FirstTask() const;

  std::function<void(int task)> OnChoose;

private:
  QTreeWidgetItem *RowOf(int task) const;
};
