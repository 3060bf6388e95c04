#include "app/TvlMainFrm.h"

#include "app/AboutFrm.h"
#include "app/DarkPreference.h"
#include "app/OutputBar.h"
#include "app/PanelKit.h"
#include "app/PreviewPanel.h"
#include "app/QueuePanel.h"
#include "app/QueueColumns.h"
#include "app/QueueSaver.h"
#include "app/WindowPlacement.h"
#include "convert/ConvertFrm.h"
#include "convert/ConvertUnt.h"
#include "convert/QueueStore.h"
#include "convert/SizeTarget.h"
#include "edit/TrackBar.h"
#include "platform/DataFolders.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/WholeFile.h"
#include "profiles/tvlIniUnt.h"

#include <QCheckBox>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <filesystem>
#include <utility>

namespace {

constexpr const char *SkinFile = "Skins/Sapphire.qss";
// What the skin changes for a desktop that asks for dark windows.
constexpr const char *DarkSkinFile = "Skins/SapphireDark.qss";
constexpr const char *HelpPage = "help/welcome.htm";
// The window's smallest size, and the widths of its two panels in it. The height is the classic
// 537 plus the row of the run's choices under the output folder.
constexpr QSize MinWindowSize(730, 571);
constexpr int MinQueueWidth = 426, MinPreviewWidth = 282;

} // namespace

TTvlMainForm::TTvlMainForm(QWidget *parent)
    : QWidget(parent, Qt::Window), TvlConvert(std::make_unique<TTvlConvert>()),
      FSettingsFile(platform::SettingsFile()),
      FQueueSaver(std::make_unique<TQueueSaver>(*TvlConvert, platform::DataFolders().QueueFile, nullptr)) {
  setObjectName("TvlMainForm");
  // The progress window follows every file that converts at once.
  TvlConvert->AllowSimultaneous = true;
  setMinimumSize(MinWindowSize);
  resize(MinWindowSize);
  CreateControls();
  WirePanels();
  SetFocusOrder();
  if (const QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  qApp->installEventFilter(this);

  // The order matters: the pictures and the images of the profile list exist before the list is filled,
  // and the refresh at the end sees the finished window.
  LoadSkin();
  LoadPictures();
  setWindowTitle("Tavrelle Video Converter");
  Preview->UpdatePlayButtons();
  IniOptions.LoadFromFile(FSettingsFile);
  if (!IniOptions.LoadProblem.empty())
    platform::ShowMessage(IniOptions.LoadProblem, platform::TMsgIcon::Warning);
  placement::Restore(IniOptions.Window, *this, *splMain, *Queue->lvFileList->header());
  Output->FillProfiles(il1);
  Output->ChooseOutputFolder();
  Output->ShowRunChoices();
  UpdateControls();
  // Exceptions of commands are dropped by TTvlApplication::notify. Binding comes last: when it fails
  // the user has been told, and the program ends before the window shows.
  FLibrariesLoaded = TvlConvert->LoadLibraries();
  if (FLibrariesLoaded)
    RestoreQueue();
}

TTvlMainForm::~TTvlMainForm() {
  // Probing ends first: it must not outlive the queue it fills.
  Queue->EndAdding();
  // The preview ends while the window is whole. The progress window that handled the engine's events
  // is gone: nothing may call into it while the engine shuts down.
  Preview->fplyrPreview.Stop(true);
  TvlConvert->Engine.OnProgress = nullptr;
  TvlConvert->Engine.OnTerminate = nullptr;
  // A window that never showed never restored the queue: its file stays as it is.
  if (FLibrariesLoaded)
    FQueueSaver->SaveNow();
  FQueueSaver.reset();
  TvlConvert.reset();
  Output->cbbFormatEx->clear();
  SaveSettings();
}

void TTvlMainForm::SaveSettings() {
  IniOptions.Window = placement::PlaceOf(*this, *splMain, *Queue->lvFileList->header());
  // The user's choices of this session are lost otherwise: they are told, not only the log.
  if (std::string error; !IniOptions.SaveToFile(FSettingsFile, &error)) {
    std::fprintf(stderr, "tavrelle: cannot write the settings to %s: %s\n", FSettingsFile.c_str(), error.c_str());
    platform::ShowMessage("The settings could not be saved to \"" + FSettingsFile + "\": " + error + ".",
                          platform::TMsgIcon::Error);
  }
}

void TTvlMainForm::TakeHandedPaths(const std::vector<std::string> &paths) {
  Queue->QueuePaths(paths);
  if (FRun == TRun::None) {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    return;
  }
  if (!FProgress)
    return;
  const QString what = paths.size() == 1 ? "\"" + queue_columns::FileNameOf(paths.front()) + "\""
                                         : QString("%1 files").arg(paths.size());
  FProgress->ShowNote(what + " will be queued when the conversion is over.");
  FProgress->setWindowState(FProgress->windowState() & ~Qt::WindowMinimized);
  FProgress->raise();
  FProgress->activateWindow();
}

void TTvlMainForm::EndSession() {
  SaveSettings();
  Preview->fplyrPreview.Stop(true);
  FCloseAfterRun = FRun != TRun::None;
  if (FRun == TRun::Converting && FProgress)
    FProgress->CancelNow();
  else if (FRun != TRun::None)
    TvlConvert->CancelBuild = true;
  if (FRun != TRun::None)
    return;
  // An open dialog (the edit window, a message) would hold the program: it is closed as Cancel would.
  if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
    dialog->reject();
  close();
}

void TTvlMainForm::CreateControls() {
  actHelp = panels::NewAction(this, "actHelp", "", "");
  actAbout = panels::NewAction(this, "actAbout", "About", "About");
  connect(actHelp, &QAction::triggered, this, &TTvlMainForm::ShowHelp);
  connect(actAbout, &QAction::triggered, this, &TTvlMainForm::ShowAbout);
  actQuit = panels::NewAction(this, "actQuit", "Quit", "Quit");
  panels::SetShortcuts(actQuit, {Qt::CTRL | Qt::Key_Q});
  addAction(actQuit);
  connect(actQuit, &QAction::triggered, this, &QWidget::close);

  // The banner's picture starts at the left; its label's background continues it to the right.
  imgTop = panels::NewLabel(this, "imgTop", QString());
  imgTop->setFixedHeight(60);
  imgTop->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  btnAbout = panels::NewButton(imgTop, "btnAbout", actAbout, QSize(32, 32), Qt::ToolButtonIconOnly);
  btnAbout->setAutoRaise(true);
  btnAbout->setIconSize(QSize(24, 24));
  auto *banner = new QHBoxLayout(imgTop);
  banner->setContentsMargins(0, 0, 8, 0);
  banner->addStretch();
  banner->addWidget(btnAbout);

  splMain = new QSplitter(Qt::Horizontal, this);
  splMain->setObjectName("splMain");
  splMain->setChildrenCollapsible(false);
  splMain->setHandleWidth(6);
  Queue = new TQueuePanel(*TvlConvert, il1, splMain);
  Preview = new TPreviewPanel(splMain);
  splMain->addWidget(Queue);
  splMain->addWidget(Preview);
  // The queue takes most of what the window gains.
  splMain->setStretchFactor(0, 2);
  splMain->setStretchFactor(1, 1);
  splMain->setSizes({MinQueueWidth, MinPreviewWidth});
  Output = new TOutputBar(FSettingsFile, this);

  auto *body = new QVBoxLayout;
  body->setContentsMargins(8, 8, 8, 19);
  body->setSpacing(18);
  body->addWidget(splMain, 1);
  body->addWidget(Output);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(imgTop);
  layout->addLayout(body, 1);
}

void TTvlMainForm::WirePanels() {
  connect(Queue, &TQueuePanel::Changed, this, &TTvlMainForm::UpdateControls);
  connect(Queue, &TQueuePanel::Edited, this, [this] { FQueueSaver->SaveNow(); });
  connect(Queue, &TQueuePanel::Filled, this, [this] { FQueueSaver->Changed(); });
  for (auto signal : {&TQueuePanel::Changed, &TQueuePanel::Edited})
    connect(Queue, signal, this, &TTvlMainForm::UpdateSizes);
  connect(Queue, &TQueuePanel::Filled, this, &TTvlMainForm::AddAddedSize);
  connect(Queue, &TQueuePanel::SampledSize, this, [this](qint64 change) {
    FEstimatedTotal += change;
    Output->ShowSizes(FEstimatedTotal);
  });
  connect(Output, &TOutputBar::SizesMayChange, this, &TTvlMainForm::UpdateSizes);
  connect(Queue, &TQueuePanel::PlayRequested, Preview, &TPreviewPanel::actPlayExecute);
  connect(Queue, &TQueuePanel::StopPreviewRequested, Preview, &TPreviewPanel::actStopExecute);
  connect(Preview, &TPreviewPanel::StepRequested, this, [this](int step) {
    if (Queue->SelectStep(step))
      Preview->actPlayExecute();
  });
  Preview->Source = [this] {
    TPreviewPanel::TSource source;
    const int index = Queue->SelectedIndex;
    source.Selected = index >= 0;
    const QTreeWidgetItem *row = source.Selected ? Queue->lvFileList->topLevelItem(index) : nullptr;
    if (row && index < TvlConvert->Files.Count()) {
      source.Caption = row->text(0);
      source.Path = TvlConvert->Files[index].FileName;
    }
    return source;
  };
  connect(Output->actConvert, &QAction::triggered, this, &TTvlMainForm::actConvertExecute);
}

void TTvlMainForm::SetFocusOrder() {
  QWidget *const chain[] = {
      btnAbout,
      Queue->btnAddFile, Queue->btnAddFolder, Queue->btnEditFile, Queue->lvFileList,
      Queue->btnRemoveFile, Queue->btnClear, Queue->btnMoveUp, Queue->btnMoveDown, Queue->btnStopAdding,
      Preview->tbarPreview, Preview->btnPlay, Preview->btnStop, Preview->btnPrevious, Preview->btnNext,
      Preview->btnSnapshot, Preview->btnOpenSnapshot, Preview->btnSnapShotOption,
      Output->cbbFormatEx, Output->btnSetting, Output->edtOutputFolder, Output->btnOpenFolder,
      Output->chkCopyStreams, Output->cbbSimultaneous, Output->btnConvert,
  };
  for (std::size_t i = 1; i < std::size(chain); ++i)
    setTabOrder(chain[i - 1], chain[i]);
}

void TTvlMainForm::LoadSkin() {
  // The skin names its pictures "skin:<file>": they are the installation's.
  QDir::setSearchPaths("skin", {panels::ExePath("VideoRes")});
  const auto read = [](const char *file) {
    QFile skin(panels::ExePath(file));
    return skin.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(skin.readAll()) : QString();
  };
  QString sheet = read(SkinFile);
  if (skin::PrefersDark(QGuiApplication::palette()))
    sheet += read(DarkSkinFile);
  qApp->setStyleSheet(sheet);
}

void TTvlMainForm::LoadPictures() {
  imgTop->setPixmap(panels::LoadPicture("VideoRes/MainImage.png"));
  actAbout->setIcon(panels::LoadIcon("VideoRes/About.png"));
  Output->LoadPictures();
  Queue->LoadPictures();
  Preview->LoadPictures();
  // The style would tint the picture of a selected row with the selection's colour, which hides the
  // audio picture on the blue of the skin: a selected row shows it as it is.
  il1 = {panels::LoadIcon("VideoRes/ListAudio.png", true), panels::LoadIcon("VideoRes/ListVideo.png", true)};
}

void TTvlMainForm::UpdateControls() {
  const int index = Queue->SelectedIndex;
  const QTreeWidgetItem *row = index >= 0 ? Queue->lvFileList->topLevelItem(index) : nullptr;
  Preview->SelectionChanged(row ? row->text(0) : QString(), Queue->SelectedPosition(),
                            Queue->lvFileList->topLevelItemCount());
  Queue->UpdateActions();
  Output->actConvert->setEnabled(Queue->lvFileList->topLevelItemCount() > 0 && !Queue->Adding());
}

void TTvlMainForm::AddAddedSize() {
  // The added file's row is the last one.
  FEstimatedTotal += Queue->ShowEstimate(Queue->lvFileList->topLevelItemCount() - 1, Output->Profile());
  Output->ShowSizes(FEstimatedTotal);
}

void TTvlMainForm::UpdateSizes() {
  FEstimatedTotal = Queue->ShowEstimates(Output->Profile());
  Output->ShowSizes(FEstimatedTotal);
}

bool TTvlMainForm::RoomForRun(const std::string &folder, int profile,
                              const std::function<bool(const TInputFile &)> &include) {
  const int64_t need = TvlConvert->EstimatedTotal(profile, include);
  const int64_t free = Output->FreeBytes();
  if (free < 0 || need <= free)
    return true;
  return platform::ShowMessage("The files need about " + MegabytesText(need) + ", but only " + MegabytesText(free) +
                                   " is free in \"" + folder + "\". Convert anyway?",
                               platform::TMsgIcon::Warning, platform::TMsgButtons::YesNo) == platform::TMsgResult::Yes;
}

void TTvlMainForm::actConvertExecute() {
  if (Queue->Adding())
    return;
  bool anySucceeded = false;
  for (int p = 0; p < TvlConvert->Files.Count(); ++p)
    anySucceeded = anySucceeded || TvlConvert->Files[p].Status == csSuccess;
  const bool remaining = anySucceeded && platform::ShowMessage("Convert the remaining files?", platform::TMsgIcon::Question,
                                                               platform::TMsgButtons::YesNo) == platform::TMsgResult::Yes;
  ConvertQueue(remaining ? TTvlConvert::NotSucceeded : TTvlConvert::TRunFilter());
}

void TTvlMainForm::ConvertQueue(const std::function<bool(const TInputFile &)> &include) {
  // Files handed to the window meanwhile are probed, and queued once the run is over.
  Queue->SetConverting(true);
  const auto converted = qScopeGuard([this] { Queue->SetConverting(false); });
  if (Preview->PlayState == psPlay || Preview->PlayState == psResume)
    Preview->actStopExecute();
  const std::string folder = Output->edtOutputFolder->text().toStdString();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec) && !std::filesystem::create_directory(folder, ec)) {
    platform::ShowMessage("The output folder does not exist, please select another output folder.",
                          platform::TMsgIcon::Warning);
    return;
  }
  // Otherwise every file fails on its own, with no word of why.
  if (const std::string problem = platform::WriteProblemIn(folder); !problem.empty()) {
    platform::ShowMessage("The output folder \"" + folder + "\" cannot be written (" + problem +
                              "), please select another output folder.",
                          platform::TMsgIcon::Warning);
    return;
  }
  const int profile = Output->Profile();
  if (!RoomForRun(folder, profile, include))
    return;
  // A run may end in a power-off, which ends the program before its window closes.
  SaveSettings();
  Queue->ClearResults(include);
  // A close asked for during the run takes effect once the run is over.
  const auto closeAfterRun = qScopeGuard([this] {
    FRun = TRun::None;
    if (std::exchange(FCloseAfterRun, false))
      close();
  });
  const TTvlConvert::TRunFilter second = TvlConvert->SecondPassFilter(include);
  if (!FirstPassForSizes(profile, include))
    return;
  const auto passes = qScopeGuard([this] { EndSizePasses(); });
  bool built = false;
  {
    // Building a long queue keeps the window painting; no command may change the queue meanwhile.
    setEnabled(false);
    const auto enable = qScopeGuard([this] { setEnabled(true); });
    FRun = TRun::Building;
    built = TvlConvert->BuildRun(profile, folder, second);
  }
  // An unusable profile stops the command before anything is converted, and says why.
  if (!built) {
    if (!TvlConvert->BuildError().empty())
      platform::ShowMessage(TvlConvert->BuildError(), platform::TMsgIcon::Warning);
    return;
  }
  {
    TConvertForm progress(*TvlConvert, folder, this);
    FProgress = &progress;
    FRun = TRun::Converting;
    const auto gone = qScopeGuard([this] { FProgress = nullptr; });
    // The run's progress is in the queue file at every step: a run cut off can go on.
    FQueueSaver->RunStarted(profile, folder);
    progress.OnFileEnded = [this](int runningTask) { FQueueSaver->RunMoved(runningTask); };
    progress.RunConversion(TvlConvert->Files.Count(), IniOptions.GetFormat(profile).Ext);
  }
  Queue->ShowResults();
  TvlConvert->EndRun();
  FQueueSaver->RunEnded();
}

void TTvlMainForm::RestoreQueue() {
  std::string problem;
  const TQueueRun run = FQueueSaver->Keeper.Restore(problem);
  if (!problem.empty())
    platform::ShowMessage(problem, platform::TMsgIcon::Warning);
  Queue->ShowRecords();
  // Once the window shows, and before files given on the command line are added.
  if (run.Running >= 0)
    QTimer::singleShot(0, this, [this, run] { OfferResume(run); });
}

void TTvlMainForm::OfferResume(const TQueueRun &run) {
  if (platform::ShowMessage("The last conversion was interrupted. Do you want to continue it? The files already "
                            "converted are not converted again.",
                            platform::TMsgIcon::Question,
                            platform::TMsgButtons::YesNo) != platform::TMsgResult::Yes) {
    // The queue stays as it is; the file no longer tells of a run.
    FQueueSaver->SaveNow();
    return;
  }
  if (run.Profile >= 0 && run.Profile < static_cast<int>(IniOptions.Formats.size())) {
    Output->SelectProfile(run.Profile);
    IniOptions.OutputFormat = run.Profile;
  }
  if (!run.Folder.empty())
    Output->edtOutputFolder->setText(QString::fromStdString(run.Folder));
  ConvertQueue(TTvlConvert::NotReached);
}

void TTvlMainForm::closeEvent(QCloseEvent *event) {
  if (FRun == TRun::None) {
    event->accept();
    return;
  }
  // Leaving now would tear the run down with outputs half written: the run ends first, the way its
  // own Cancel ends it.
  event->ignore();
  if (FRun == TRun::Converting && FProgress) {
    FProgress->Cancel();
    FCloseAfterRun = FProgress->Canceled;
  } else if (platform::ShowMessage("Do you want to cancel the conversion?", platform::TMsgIcon::Question,
                                   platform::TMsgButtons::YesNo) == platform::TMsgResult::Yes) {
    TvlConvert->CancelBuild = true;
    FCloseAfterRun = true;
  }
}

bool TTvlMainForm::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget *>(watched)->window() == this) {
    if (FormKeyDown(watched, *static_cast<QKeyEvent *>(event)))
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool TTvlMainForm::FormKeyDown(QObject *watched, const QKeyEvent &key) {
  const bool plain = (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  const bool onList = watched == Queue->lvFileList;
  switch (key.key()) {
  case Qt::Key_Delete:
    if (!onList || Queue->SelectedPosition() < 0)
      return false;
    Queue->actRemoveFileExecute();
    return true;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    // As the double click on the row does.
    if (!plain || !onList || Queue->SelectedPosition() < 0)
      return false;
    Preview->actPlayExecute();
    return true;
  case Qt::Key_Space:
    // Buttons, lists and fields keep their own Space.
    if (!plain || qobject_cast<QAbstractButton *>(watched) || qobject_cast<QComboBox *>(watched) ||
        qobject_cast<QLineEdit *>(watched))
      return false;
    Preview->PlayOrStop();
    return true;
  case Qt::Key_F1:
    actHelp->trigger();
    return true;
  default:
    return false;
  }
}

void TTvlMainForm::ShowHelp() {
  panels::OpenOrSay(platform::ExeFolder() + HelpPage);
}

void TTvlMainForm::ShowAbout() {
  TAboutBox box(this);
  box.exec();
}
