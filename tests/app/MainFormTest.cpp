#include "app/OutputBar.h"
#include "app/PreviewPanel.h"
#include "app/QueueColumns.h"
#include "app/QueuePanel.h"
#include "app/TvlMainFrm.h"
#include "edit/TrackBar.h"
#include "edit/VideoPanel.h"

#include "AppFixture.h"
#include "platform/IniFile.h"
#include "platform/qt/QtSignals.h"

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <csignal>
#include <memory>

namespace {

const char *ThreeProfiles = "; shipped profiles\n"
                            "[Format]\n"
                            "Count=3\n"
                            "[Format0]\n"
                            "Name=MP3 Audio\n"
                            "Category=0\n"
                            "[Format1]\n"
                            "Name=MP4 Video\n"
                            "Category=1\n"
                            "[Format2]\n"
                            "Name=Odd Category\n"
                            "Category=7\n"
                            "[Output]\n"
                            "Format=1\n";

class MainForm : public TAppFixture {
protected:
  TTvlMainForm &Start() {
    Form = std::make_unique<TTvlMainForm>();
    return *Form;
  }
  void Close() { Form.reset(); }
  std::string Settings() const { return Install.Folder() + "VideoConverter.ini"; }
  void WriteSettings(const std::string &text) const { Install.Write("VideoConverter.ini", text); }

  // Rows as the queue commands add them.
  void AddRows(std::initializer_list<const char *> captions) {
    for (const char *caption : captions)
      new QTreeWidgetItem(Form->Queue->lvFileList, QStringList{caption});
  }
  void Select(int position) {
    Form->Queue->lvFileList->clearSelection();
    if (position >= 0)
      Form->Queue->lvFileList->topLevelItem(position)->setSelected(true);
  }

  std::unique_ptr<TTvlMainForm> Form;
};

TEST_F(MainForm, StartsWithoutSettingsFileWithDefaultsAndQueueActionsDisabled) {
  auto &form = Start();
  EXPECT_EQ(form.windowTitle(), "Tavrelle Video Converter");
  EXPECT_EQ(form.minimumSize(), QSize(730, 571));
  EXPECT_EQ(form.Preview->pnlPreviewPlay->size(), QSize(280, 220));

  EXPECT_EQ(form.Output->cbbFormatEx->count(), 0);
  EXPECT_EQ(form.Output->cbbFormatEx->currentIndex(), -1);
  EXPECT_EQ(form.Output->edtOutputFolder->text().toStdString(), Install.Folder() + "output/");
  EXPECT_TRUE(std::filesystem::is_directory(Install.Path() / "output"));
  EXPECT_EQ(IniOptions.OutputFolder, "") << "the default folder is not a setting";

  EXPECT_EQ(form.Queue->SelectedIndex, -1);
  EXPECT_EQ(form.Preview->PlayState, psStop);
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:");
  for (QAction *action :
       {form.Queue->actRemoveFile, form.Queue->actEdit, form.Queue->actClear, form.Output->actConvert, form.Queue->actMoveUp, form.Queue->actMoveDown,
        form.Preview->actPrevious, form.Preview->actNext, form.Preview->actPlay, form.Preview->actStop, form.Preview->actSnapshot})
    EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
  for (QAction *action : {form.Queue->actAddFile, form.Queue->actAddFolder, form.Output->actFormatSetting, form.Output->actOpenFolder})
    EXPECT_TRUE(action->isEnabled()) << action->objectName().toStdString();
}

TEST_F(MainForm, GrowingTheWindowWidensTheQueueAndItsSourceColumnAndKeepsConvertAtTheCorner) {
  auto &form = Start();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTreeWidget *list = form.Queue->lvFileList;
  const int queueWidth = list->width(), sourceWidth = list->columnWidth(0);
  EXPECT_EQ(form.Preview->pnlPreviewPlay->size(), QSize(280, 220)) << "the smallest window looks as before";
  form.resize(1280, 860);
  QApplication::processEvents();
  EXPECT_GT(list->width(), queueWidth + 200);
  EXPECT_GT(list->columnWidth(0), sourceWidth + 200);
  EXPECT_GT(list->width(), form.Preview->width()) << "the queue takes most of the width";
  const QRect convert(form.Output->btnConvert->mapTo(&form, QPoint(0, 0)), form.Output->btnConvert->size());
  EXPECT_LE(form.width() - convert.right(), 20);
  EXPECT_LE(form.height() - convert.bottom(), 30);
  const QSize video = form.Preview->pnlPreviewPlay->size();
  EXPECT_GT(video.width(), 280);
  EXPECT_NEAR(video.width() * 220.0 / video.height(), 280.0, 3.0) << "the video keeps its shape";
}

TEST_F(MainForm, TheWindowComesBackAsItWasLeftAndAnUnfitPlaceIsNotTaken) {
  auto &form = Start();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.resize(1000, 700);
  form.move(40, 30);
  QApplication::processEvents();
  form.splMain->setSizes({600, 376});
  const QList<int> divided = form.splMain->sizes();
  const int last = queue_columns::colDestination; // a column the user sizes
  form.Queue->lvFileList->setColumnWidth(last, 150);
  Close();
  platform::IniFile ini(Settings());
  EXPECT_EQ(ini.ReadString("Window", "Width", "?"), "1000");
  EXPECT_EQ(ini.ReadString("Window", "Height", "?"), "700");

  auto &again = Start();
  again.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
  EXPECT_EQ(again.size(), QSize(1000, 700));
  EXPECT_EQ(again.pos(), QPoint(40, 30));
  EXPECT_EQ(again.splMain->sizes(), divided);
  EXPECT_EQ(again.Queue->lvFileList->columnWidth(last), 150);
  Close();

  // A damaged or foreign section: too small, off every screen, lists that do not fit.
  WriteSettings("[Window]\nLeft=-9000\nTop=-9000\nWidth=200\nHeight=100\nSplitter=7,x\nColumns=1,2\n");
  auto &unfit = Start();
  EXPECT_EQ(unfit.size(), QSize(730, 571));
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(unfit.geometry().center()));
  EXPECT_EQ(unfit.Queue->lvFileList->columnWidth(last), 60);
}

TEST_F(MainForm, FirstCloseWritesTheSettingsThatTheNextStartReads) {
  Start();
  Close();
  platform::IniFile ini(Settings());
  ASSERT_TRUE(ini.Exists());
  EXPECT_EQ(ini.ReadString("Output", "Format", "?"), "0");
  EXPECT_EQ(ini.ReadString("Output", "Folder", "absent"), "absent");
  EXPECT_EQ(ini.ReadString("SnapShot", "Format", "?"), "0");
  EXPECT_EQ(ini.ReadString("SnapShot", "Name", "?"), "0");

  // The file now lacks a Format section: one profile built from the read defaults.
  IniOptions = TIniOptions{};
  auto &form = Start();
  ASSERT_EQ(form.Output->cbbFormatEx->count(), 1);
  EXPECT_EQ(form.Output->cbbFormatEx->itemText(0), "MP4 - iPod Nano MPEG-4(*.mp3)");
  EXPECT_EQ(form.Output->cbbFormatEx->currentIndex(), 0);
  EXPECT_EQ(form.Output->edtOutputFolder->text().toStdString(), Install.Folder() + "output/");
}

TEST_F(MainForm, FillsTheProfileListWithImagesByCategoryAndSelectsTheSavedProfile) {
  WriteSettings(ThreeProfiles);
  auto &form = Start();
  ASSERT_EQ(form.Output->cbbFormatEx->count(), 3);
  // Video profiles first, audio ones after, others last; each keeps its number in the settings.
  EXPECT_EQ(form.Output->cbbFormatEx->itemText(0), "MP4 Video");
  EXPECT_EQ(form.Output->cbbFormatEx->itemText(1), "MP3 Audio");
  EXPECT_EQ(form.Output->cbbFormatEx->itemText(2), "Odd Category");
  EXPECT_EQ(form.Output->cbbFormatEx->currentIndex(), 0);
  EXPECT_EQ(form.Output->Profile(), 1);
  ASSERT_EQ(form.il1.size(), 2);
  EXPECT_EQ(form.Output->cbbFormatEx->itemIcon(0).cacheKey(), form.il1[1].cacheKey());
  EXPECT_EQ(form.Output->cbbFormatEx->itemIcon(1).cacheKey(), form.il1[0].cacheKey());

  EXPECT_TRUE(form.Output->cbbFormatEx->itemIcon(2).isNull()) << "a category outside the image list has no image";
  // Filling the list is not a choice of the user.
  EXPECT_EQ(IniOptions.OutputFormat, 1);
}

TEST_F(MainForm, ASavedProfileOutsideTheListSelectsNothingAndIsWrittenBackUnchanged) {
  WriteSettings("[Format]\nCount=2\n[Output]\nFormat=5\n");
  EXPECT_EQ(Start().Output->cbbFormatEx->currentIndex(), -1);
  Close();
  EXPECT_EQ(platform::IniFile(Settings()).ReadString("Output", "Format", "?"), "5");
}

TEST_F(MainForm, ASavedOutputFolderIsShownButNotCreatedAtStart) {
  const std::string folder = Install.Folder() + "not/yet/there";
  WriteSettings("[Format]\nCount=0\n[Output]\nFolder=" + folder + "\n");
  auto &form = Start();
  EXPECT_EQ(form.Output->cbbFormatEx->count(), 0);
  EXPECT_EQ(form.Output->edtOutputFolder->text().toStdString(), folder);
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_FALSE(std::filesystem::exists(Install.Path() / "output"));
}

TEST_F(MainForm, TheUsersProfileAndFolderChoicesAreWrittenAtCloseKeepingTheRestOfTheFile) {
  WriteSettings(ThreeProfiles);
  auto &form = Start();

  // The next in the list is the audio profile, number 0: its number is the choice.
  QTest::keyClick(form.Output->cbbFormatEx, Qt::Key_Down);
  EXPECT_EQ(IniOptions.OutputFormat, 0);

  form.Output->actBrowseOutputFolder->trigger(); // cancelled: nothing changes
  EXPECT_EQ(form.Output->edtOutputFolder->text().toStdString(), Install.Folder() + "output/");
  EXPECT_EQ(IniOptions.OutputFolder, "");
  Dialogs->QueueFolder("/data/videos");
  form.Output->actBrowseOutputFolder->trigger();
  EXPECT_EQ(form.Output->edtOutputFolder->text(), "/data/videos");
  EXPECT_EQ(IniOptions.OutputFolder, "/data/videos");
  Close();

  const std::string text = Install.Read("VideoConverter.ini");
  EXPECT_EQ(text.find("; shipped profiles\n[Format]\nCount=3\n[Format0]\nName=MP3 Audio\n"), 0u) << text;
  platform::IniFile ini(Settings());
  EXPECT_EQ(ini.ReadString("Output", "Format", "?"), "0");
  EXPECT_EQ(ini.ReadString("Output", "Folder", "?"), "/data/videos");
  EXPECT_EQ(ini.ReadString("Format2", "Name", "?"), "Odd Category");
}

// Turning a choice back to its default must reach the file too, where an earlier run wrote it.
TEST_F(MainForm, TheRunChoicesShowTheSettingsAndTheirChangesAreWrittenAtClose) {
  WriteSettings(std::string(ThreeProfiles) + "SimultaneousConversions=3\n");
  auto &form = Start();
  EXPECT_TRUE(form.Output->chkCopyStreams->isChecked());
  EXPECT_EQ(form.Output->cbbSimultaneous->currentText(), "3");
  form.Output->chkCopyStreams->click();
  QTest::keyClick(form.Output->cbbSimultaneous, Qt::Key_Home);
  EXPECT_EQ(form.Output->cbbSimultaneous->currentText(), "Automatic");
  Close();
  platform::IniFile ini(Settings());
  EXPECT_EQ(ini.ReadString("Output", "CopyStreams", "?"), "0");
  EXPECT_EQ(ini.ReadString("Output", "SimultaneousConversions", "?"), "");

  Start();
  EXPECT_FALSE(Form->Output->chkCopyStreams->isChecked());
  Form->Output->chkCopyStreams->click();
  Close();
  EXPECT_EQ(platform::IniFile(Settings()).ReadString("Output", "CopyStreams", "?"), "1");
}

// Logout ends the program with SIGTERM before any window closes: the choices are saved then.
TEST_F(MainForm, SigtermSavesTheSettingsAndClosesTheWindow) {
  WriteSettings(ThreeProfiles);
  auto &form = Start();
  form.show();
  QTest::keyClick(form.Output->cbbFormatEx, Qt::Key_Down);
  const platform::TSignalWatcher watcher([&form] { form.EndSession(); });
  ::raise(SIGTERM);
  EXPECT_TRUE(QTest::qWaitFor([&] { return platform::IniFile(Settings()).ReadInteger("Output", "Format", -1) == 0; }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }));
}

TEST_F(MainForm, ABadSettingsFileIsNamedAtStartAndAFailedSaveAtClose) {
  WriteSettings("[Format]\nCount=2000000000\n[Format0]\nName=Only\n");
  auto &form = Start();
  EXPECT_EQ(form.Output->cbbFormatEx->count(), 1);
  ASSERT_EQ(Dialogs->Messages().size(), 1u);
  EXPECT_NE(Dialogs->Messages()[0].Text.find("Count=2000000000"), std::string::npos);
  // A folder where the file should be: nothing can be read or written, and the user hears of it.
  std::filesystem::remove(Settings());
  std::filesystem::create_directory(Settings());
  Close();
  ASSERT_EQ(Dialogs->Messages().size(), 2u);
  const auto saved = Dialogs->Messages()[1];
  EXPECT_EQ(saved.Icon, platform::TMsgIcon::Error);
  EXPECT_NE(saved.Text.find("could not be saved to \"" + Settings() + "\""), std::string::npos) << saved.Text;
  EXPECT_TRUE(std::filesystem::is_directory(Settings()));
}

TEST_F(MainForm, UpdateControlsEnablesTheQueueActionsBySelectionAndPosition) {
  auto &form = Start();
  AddRows({"a.avi", "b.mkv", "c.mp4"});
  struct {
    int Selected;
    bool Remove, MoveUp, MoveDown;
  } cases[] = {
      {-1, false, false, false}, {0, true, false, true}, {1, true, true, true}, {2, true, true, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Selected);
    Select(c.Selected);
    form.Preview->PlayState = psPlay;
    form.UpdateControls();
    EXPECT_EQ(form.Preview->PlayState, psStop);
    EXPECT_EQ(form.Queue->actRemoveFile->isEnabled(), c.Remove);
    EXPECT_EQ(form.Queue->actEdit->isEnabled(), c.Remove);
    EXPECT_TRUE(form.Queue->actClear->isEnabled());
    EXPECT_TRUE(form.Output->actConvert->isEnabled());
    EXPECT_EQ(form.Queue->actMoveUp->isEnabled(), c.MoveUp);
    EXPECT_EQ(form.Preview->actPrevious->isEnabled(), c.MoveUp);
    EXPECT_EQ(form.Queue->actMoveDown->isEnabled(), c.MoveDown);
    EXPECT_EQ(form.Preview->actNext->isEnabled(), c.MoveDown);
    EXPECT_EQ(form.Preview->actPlay->isEnabled(), c.Remove) << "a selected row can be played once stopped";
    EXPECT_FALSE(form.Preview->actStop->isEnabled());
  }

  // The preview caption follows SelectedIndex, not the current selection.
  Select(-1);
  form.Queue->SelectedIndex = 1;
  form.UpdateControls();
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:b.mkv");
  form.Queue->SelectedIndex = 3;
  form.UpdateControls();
  EXPECT_EQ(form.Preview->lblPreviewInfo->text(), "Preview:");

  form.Queue->lvFileList->clear();
  form.UpdateControls();
  EXPECT_FALSE(form.Queue->actClear->isEnabled());
  EXPECT_FALSE(form.Output->actConvert->isEnabled());
}

TEST_F(MainForm, UpdatePlayButtonsFollowsThePlayState) {
  auto &form = Start();
  form.show();
  struct {
    TPlayState State;
    bool Stopped, Snapshot;
  } cases[] = {{psPlay, false, true},  {psPause, false, true}, {psResume, false, true},
               {psStep, false, false}, {psStop, true, false},  {psEnd, true, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.State);
    form.Preview->tbarPreview->setValue(7);
    form.Preview->PlayState = c.State;
    form.Preview->UpdatePlayButtons();
    EXPECT_EQ(form.Preview->imgPreview->isVisible(), c.Stopped);
    EXPECT_EQ(form.Preview->actPlay->isEnabled(), c.Stopped);
    EXPECT_EQ(form.Preview->actStop->isEnabled(), !c.Stopped);
    EXPECT_EQ(form.Preview->tbarPreview->value(), c.Stopped ? 0 : 7);
    EXPECT_EQ(form.Preview->actSnapshot->isEnabled(), c.Snapshot);
  }
}

TEST_F(MainForm, F1AnywhereInTheWindowOpensTheHelpPage) {
  auto &form = Start();
  const std::string help = Install.Folder() + "help/welcome.htm";
  QTest::keyClick(form.Queue->lvFileList, Qt::Key_F1);
  QTest::keyClick(form.Output->edtOutputFolder, Qt::Key_F1);
  QTest::keyClick(form.Output->cbbFormatEx, Qt::Key_F2);
  EXPECT_EQ(Shell->Opened, (std::vector<std::string>{help, help}));
  form.actHelp->trigger();
  EXPECT_EQ(Shell->Opened.size(), 3u);
  EXPECT_TRUE(Dialogs->Messages().empty());
  // Without a program for pages or folders, the help and Open... say so and name the path.
  Shell->Missing = true;
  form.actHelp->trigger();
  form.Output->actOpenFolder->trigger();
  ASSERT_EQ(Dialogs->Messages().size(), 2u);
  EXPECT_EQ(Dialogs->Messages()[0].Text, "\"" + help + "\" could not be opened: no program to open it was found.");
  EXPECT_NE(Dialogs->Messages()[1].Text.find(form.Output->edtOutputFolder->text().toStdString()), std::string::npos);
}

TEST_F(MainForm, TheSapphireSkinIsAppliedWhenInstalledAndTheNativeLookOtherwise) {
  Start();
  EXPECT_TRUE(qApp->styleSheet().isEmpty());
  Close();
  std::filesystem::create_directory(Install.Path() / "Skins");
  Install.Write("Skins/Sapphire.qss", "QTreeView { background: #123456; }");
  Start();
  EXPECT_EQ(qApp->styleSheet(), "QTreeView { background: #123456; }");
  Close();

  // A desktop with dark windows: the dark part follows the skin.
  Install.Write("Skins/SapphireDark.qss", "QTreeView { color: #fedcba; }");
  const QPalette desktop = QApplication::palette();
  QPalette dark = desktop;
  dark.setColor(QPalette::Window, QColor(0x20, 0x22, 0x28));
  QApplication::setPalette(dark);
  Start();
  QApplication::setPalette(desktop);
  EXPECT_EQ(qApp->styleSheet(), "QTreeView { background: #123456; }QTreeView { color: #fedcba; }");
  Close();
  Start();
  EXPECT_EQ(qApp->styleSheet(), "QTreeView { background: #123456; }") << "a light desktop keeps the light skin";
}

TEST_F(MainForm, ButtonsShowTheInstalledPicturesAndMissingPicturesDoNotStopTheStart) {
  ASSERT_TRUE(HasPictures());
  {
    auto &form = Start();
    for (QToolButton *button : form.findChildren<QToolButton *>()) {
      const QString name = button->objectName();
      if (name.startsWith("btn") && name != "btnSetting" && name != "btnOpenFolder") {
        EXPECT_FALSE(button->icon().isNull()) << name.toStdString();
      }
    }
    EXPECT_FALSE(form.imgTop->pixmap().isNull());
    EXPECT_FALSE(form.Preview->imgPreview->pixmap().isNull());
    EXPECT_FALSE(form.il1[1].isNull());
    Close();
  }
  std::filesystem::remove(Install.Path() / "VideoRes");
  testing::internal::CaptureStderr();
  auto &form = Start();
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(form.Preview->btnPlay->icon().isNull());
  EXPECT_NE(errors.find("VideoRes/Play.png"), std::string::npos) << errors;
}

TEST_F(MainForm, ActionsButtonsAndTheQueueCarryTheirCaptionsAndHints) {
  auto &form = Start();
  struct {
    const char *Button, *Action, *Caption, *Hint;
  } bindings[] = {
      {"btnAddFile", "actAddFile", "Add Files", "Add Video/Audio File(s) to Convert (Ctrl+O)"},
      {"btnAddFolder", "actAddFolder", "Add Folder", "Add Folder to Convert (Ctrl+Shift+O)"},
      {"btnEditFile", "actEdit", "Edit...", nullptr},
      {"btnRemoveFile", "actRemoveFile", "Remove", "Remove the select file"},
      {"btnClear", "actClear", "Clear", "Clear all files"},
      {"btnMoveUp", "actMoveUp", "Move Up", nullptr},
      {"btnMoveDown", "actMoveDown", "Move Down", nullptr},
      {"btnConvert", "actConvert", "Convert", "Click to Start Convert (Ctrl+Return)"},
      {"btnOpenFolder", "actOpenFolder", "Open...", "Browser Output Folder"},
      {"btnSetting", "actFormatSetting", "Setting...", nullptr},
      {"btnAbout", "actAbout", "About", "About"},
      {"btnPlay", "actPlay", "", "Play"},
      {"btnStop", "actStop", "", "Stop"},
      {"btnPrevious", "actPrevious", "", "Previous File"},
      {"btnNext", "actNext", "", "Next File"},
      {"btnSnapshot", "actSnapshot", "", nullptr},
      {"btnOpenSnapshot", "actOpenSnapshot", "", nullptr},
      {"btnSnapShotOption", "actSnapshotOptions", "", nullptr},
  };
  for (const auto &b : bindings) {
    SCOPED_TRACE(b.Button);
    auto *button = form.findChild<QToolButton *>(b.Button);
    ASSERT_NE(button, nullptr);
    ASSERT_NE(button->defaultAction(), nullptr);
    EXPECT_EQ(button->defaultAction()->objectName(), b.Action);
    EXPECT_EQ(button->defaultAction()->text(), b.Caption);
    if (b.Hint) {
      EXPECT_EQ(button->toolTip(), b.Hint);
    }
    if (*b.Caption && button->toolButtonStyle() != Qt::ToolButtonIconOnly) {
      EXPECT_EQ(button->text(), b.Caption);
    }
  }
  EXPECT_EQ(form.Output->cbbFormatEx->toolTip(), "Select Output Format");
  EXPECT_EQ(form.Output->edtOutputFolder->toolTip(), "Select output folder to save media...");
  EXPECT_TRUE(form.Output->edtOutputFolder->isReadOnly());

  QStringList menu;
  for (QAction *a : form.Queue->pm1->actions())
    menu << (a->isSeparator() ? "-" : a->objectName());
  EXPECT_EQ(menu.join(' '), "actAddFile actAddFolder actEdit - actRemoveFile actClear actUndo - actStatusDetails");

  QStringList columns;
  for (int i = 0; i < form.Queue->lvFileList->columnCount(); ++i)
    columns << form.Queue->lvFileList->headerItem()->text(i);
  EXPECT_EQ(columns.join('|'), "Source|Type|Original|Trimmed|Status|Distination File|Size");
}

} // namespace

TEST_F(MainForm, UnderTheSapphireSkinTheQueueColumnsFitTheirCaptionsAndTexts) {
  std::filesystem::create_directory(Install.Path() / "Skins");
  std::filesystem::copy_file(BinDir() + "Skins/Sapphire.qss", Install.Path() / "Skins/Sapphire.qss");
  auto &form = Start();
  form.show();
  QTreeWidget *list = form.Queue->lvFileList;
  // The widest texts the columns take: a time with two-digit figures and the longest status.
  new QTreeWidgetItem(list, {"a.mp4", "MP4", "00:00:02", "00:00:02", "Success", "a.3gp"});
  new QTreeWidgetItem(list, {"b.mp4", "MP4", "10:59:58", "10:59:58", "Failed", ""});
  int total = 0;
  for (int column = 0; column < list->columnCount(); ++column)
    total += list->columnWidth(column);
  EXPECT_LE(total, list->viewport()->width()) << "no horizontal scrolling for a few files";
  // The list's own measure of what a column needs, caption included.
  for (int column : {1, 2, 3, 4}) {
    const int width = list->columnWidth(column);
    list->resizeColumnToContents(column);
    EXPECT_GE(width, list->columnWidth(column)) << list->headerItem()->text(column).toStdString();
  }
  EXPECT_EQ(form.size(), QSize(730, 571));
}
