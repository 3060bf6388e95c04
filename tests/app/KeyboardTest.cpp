// The main window from the keyboard: Tab follows the layout and shows where it is, the main commands
// have their keys, and the queue's rows answer Enter, Space and Delete.
#include "PlaybackFixture.h"
#include "app/OutputBar.h"
#include "app/PreviewPanel.h"
#include "app/QueuePanel.h"
#include "edit/TrackBar.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>

namespace {

class Keyboard : public TPlaybackFixture {
protected:
  TTvlMainForm &StartActive(std::vector<std::string> files) {
    auto &form = StartWith(std::move(files));
    form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    return form;
  }
  void UseSkin() const {
    std::filesystem::create_directory(Install.Path() / "Skins");
    std::filesystem::copy_file(BinDir() + "Skins/Sapphire.qss", Install.Path() / "Skins/Sapphire.qss");
  }
};

TEST_F(Keyboard, TabFollowsTheLayoutShowsTheFocusAndNamesEveryStop) {
  UseSkin();
  auto &form = StartActive({Media("clip25.avi"), Media("clip2997.mp4")});
  form.btnAbout->setFocus();
  QStringList stops;
  for (int i = 0; i < 40 && (stops.isEmpty() || QApplication::focusWidget() != form.btnAbout); ++i) {
    QWidget *focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    stops << focused->objectName();
    const QString name = focused->accessibleName().isEmpty() ? focused->property("text").toString()
                                                             : focused->accessibleName();
    EXPECT_FALSE(name.isEmpty()) << "unnamed: " << focused->objectName().toStdString();
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  // The disabled ones (Move Up on the last row, Stop while stopped, Snapshot) are passed over.
  EXPECT_EQ(stops.join(' '), "btnAbout btnAddFile btnAddFolder btnEditFile lvFileList btnRemoveFile btnClear "
                             "btnMoveUp tbarPreview btnPlay btnPrevious btnOpenSnapshot btnSnapShotOption "
                             "cbbFormatEx btnSetting edtOutputFolder btnOpenFolder chkCopyStreams cbbSimultaneous btnConvert");

  // Focus is seen: the same button looks different with and without it.
  for (QWidget *control : std::initializer_list<QWidget *>{form.Queue->btnClear, form.Preview->btnPlay,
                                                          form.Output->btnConvert, form.Output->cbbFormatEx}) {
    control->setFocus();
    const QImage focused = control->grab().toImage();
    form.Queue->lvFileList->setFocus();
    EXPECT_NE(control->grab().toImage(), focused) << control->objectName().toStdString();
  }
}

TEST_F(Keyboard, TheMainCommandsHaveTheirKeysAndTheirHintsNameThem) {
  auto &form = StartActive({Media("clip25.avi")});
  const struct {
    QAction *Action;
    QKeySequence Keys;
    const char *Hint;
  } commands[] = {
      {form.Queue->actAddFile, Qt::CTRL | Qt::Key_O, "Add Video/Audio File(s) to Convert (Ctrl+O)"},
      {form.Queue->actAddFolder, Qt::CTRL | Qt::SHIFT | Qt::Key_O, "Add Folder to Convert (Ctrl+Shift+O)"},
      {form.Queue->actEdit, Qt::CTRL | Qt::Key_E, "Edit (Ctrl+E)"},
      {form.Output->actConvert, Qt::CTRL | Qt::Key_Return, "Click to Start Convert (Ctrl+Return)"},
      {form.Output->actConvert, Qt::CTRL | Qt::Key_Enter, "Click to Start Convert (Ctrl+Return)"},
      {form.actQuit, Qt::CTRL | Qt::Key_Q, "Quit (Ctrl+Q)"},
  };
  for (const auto &c : commands) {
    SCOPED_TRACE(c.Keys.toString().toStdString());
    // The command itself would open a modal window: only its being reached is counted.
    QObject::disconnect(c.Action, &QAction::triggered, nullptr, nullptr);
    QSignalSpy triggered(c.Action, &QAction::triggered);
    // From the list and from a field alike.
    QTest::keySequence(form.Queue->lvFileList, c.Keys);
    QTest::keySequence(form.Output->cbbFormatEx, c.Keys);
    EXPECT_EQ(triggered.count(), 2);
    EXPECT_EQ(c.Action->toolTip(), c.Hint);
  }
  EXPECT_EQ(form.Preview->btnPlay->accessibleName(), "Play");
  EXPECT_EQ(form.btnAbout->accessibleName(), "About");
}

TEST_F(Keyboard, EnterPlaysTheRowSpacePlaysAndStopsDeleteRemoves) {
  auto &form = StartActive({Media("clip25.avi"), Media("clip2997.mp4")});
  QTreeWidget *list = form.Queue->lvFileList;
  list->setFocus();
  // Not through the modifiers the key presses before may have left behind.
  list->setCurrentItem(list->topLevelItem(0), 0, QItemSelectionModel::ClearAndSelect);
  QTest::keyClick(list, Qt::Key_Return);
  ASSERT_TRUE(WaitForState(psPlay));
  QTest::keyClick(list, Qt::Key_Space);
  ASSERT_TRUE(WaitForState(psStop));
  QTest::keyClick(form.Preview->tbarPreview, Qt::Key_Space);
  ASSERT_TRUE(WaitForState(psPlay));
  // A field keeps its own Space.
  QTest::keyClick(form.Output->cbbFormatEx, Qt::Key_Space);
  QTest::qWait(50);
  EXPECT_EQ(form.Preview->PlayState, psPlay);
  if (QWidget *popup = QApplication::activePopupWidget())
    popup->close();

  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(Records(), QStringList({"clip2997.mp4"}));
  EXPECT_EQ(Column(0), Records());
}

} // namespace
