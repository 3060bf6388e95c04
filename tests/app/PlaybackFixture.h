#pragma once
// The main window with playbacks: waits that let the player's events arrive, and a hand on the modal
// windows the commands open.
#include "MainFormFixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>

#include <functional>

// Runs the window's events until the condition holds; false when it still does not after the time.
inline bool ProcessUntil(const std::function<bool()> &condition, int milliseconds = 15000) {
  QDeadlineTimer deadline(milliseconds);
  while (!condition()) {
    if (deadline.hasExpired())
      return false;
    QTest::qWait(5);
  }
  return true;
}

// Acts on the next modal window of type T once it shows; the action must close it.
template <typename T> void OnModal(std::function<void(T &)> action, int attempts = 2000) {
  QTimer::singleShot(5, qApp, [action, attempts] {
    if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget()))
      action(*window);
    else if (attempts > 0)
      OnModal<T>(action, attempts - 1);
    else
      ADD_FAILURE() << "no modal window showed";
  });
}

class TPlaybackFixture : public TMainFormFixture {
protected:
  TTvlMainForm &StartWith(std::vector<std::string> files) {
    auto &form = Start();
    AddFiles(std::move(files));
    // Mouse presses reach only a window that is on screen.
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    return form;
  }
  bool WaitForState(TPlayState state) {
    return ProcessUntil([&] { return Form->Preview->PlayState == state; });
  }
};
