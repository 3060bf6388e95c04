#include "app/TvlMainFrm.h"

#include "app/AboutFrm.h"
#include "app/QueueSaver.h"
#include "convert/ConvertFrm.h"
#include "convert/ConvertHelpers.h"
#include "convert/ConvertUnt.h"
#include "convert/QueueEdit.h"
#include "convert/QueueFiller.h"
#include "edit/EditFrm.h"
#include "edit/TrackBar.h"
#include "edit/VideoPanel.h"
#include "media/InputFileKind.h"
#include "platform/DataFolders.h"
#include "platform/Dialogs.h"
#include "platform/ExeFolder.h"
#include "platform/Shell.h"
#include "profiles/SettingFrm.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QCloseEvent>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <utility>
#include <vector>

namespace {

constexpr const char *SkinFile = "Skins/Sapphire.qss";
constexpr const char *HelpPage = "help/welcome.htm";

QString ExePath(const char *relative) {
  return QString::fromStdString(platform::ExeFolder()) + relative;
}

// A picture of the installation. A missing one leaves its control without a picture: the program stays
// usable, and the message on stderr says which file the installation lacks.
QPixmap LoadPicture(const char *relative) {
  QPixmap picture;
  if (!picture.load(ExePath(relative)))
    std::fprintf(stderr, "tavrelle: missing picture %s\n", qPrintable(ExePath(relative)));
  return picture;
}

QToolButton *NewButton(QWidget *parent, const char *name, QAction *action, const QRect &geometry,
                       Qt::ToolButtonStyle style) {
  auto *button = new QToolButton(parent);
  button->setObjectName(name);
  button->setDefaultAction(action);
  button->setToolButtonStyle(style);
  button->setGeometry(geometry);
  return button;
}

QLabel *NewLabel(QWidget *parent, const char *name, const QString &caption, const QRect &geometry) {
  auto *label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  return label;
}

// Columns of the queue: caption, alignment, width (0: the list's default).
struct TColumn {
  const char *Caption;
  Qt::Alignment Alignment;
  int Width;
};
constexpr TColumn Columns[] = {
    {"Source", Qt::AlignLeft, 100}, {"Type", Qt::AlignHCenter, 45},  {"Original", Qt::AlignHCenter, 64},
    {"Trimmed", Qt::AlignLeft, 64}, {"Status", Qt::AlignHCenter, 0}, {"Distination File", Qt::AlignLeft, 100},
};
constexpr int DefaultColumnWidth = 50;
// How often paths handed over while a dialog is open try again.
constexpr int PendingRetryMs = 300;
enum TColumnIndex { colSource, colType, colOriginal, colTrimmed, colStatus, colDestination };

std::string FileNameOf(const std::string &path) {
  return path.substr(path.rfind('/') + 1);
}

} // namespace

TTvlMainForm::TTvlMainForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("TvlMainForm");
  setFixedSize(730, 537);
  FUndo = std::make_unique<TQueueUndo>();
  CreateActions();
  CreateControls();
  if (const QScreen *screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  qApp->installEventFilter(this);

  // The order matters: the pictures and the images of the profile list exist before the list is filled,
  // and the refresh at the end sees the finished window.
  SelectedIndex = -1;
  LoadSkin();
  FitColumns();
  LoadPictures();
  setWindowTitle("Tavrelle Video Converter");
  PlayState = psEnd;
  UpdatePlayButtons();
  FSettingsFile = platform::SettingsFile();
  IniOptions.LoadFromFile(FSettingsFile);
  if (!IniOptions.LoadProblem.empty())
    platform::ShowMessage(IniOptions.LoadProblem, platform::TMsgIcon::Warning);
  FillProfiles();
  ChooseOutputFolder();
  UpdateControls();
  TvlConvert = std::make_unique<TTvlConvert>();
  SetUpFileDialog();
  // Exceptions of commands are dropped by TTvlApplication::notify. Binding comes last: when it fails
  // the user has been told, and the program ends before the window shows.
  FLibrariesLoaded = TvlConvert->LoadLibraries();
  FQueueSaver = std::make_unique<TQueueSaver>(*TvlConvert, platform::DataFolders().QueueFile, nullptr);
  if (FLibrariesLoaded)
    RestoreQueue();
}

TTvlMainForm::~TTvlMainForm() {
  // Probing ends first: it must not outlive the queue it fills.
  FAddRequests.clear();
  FFiller.reset();
  // The preview ends while the window is whole. The progress window that handled the engine's events
  // is gone: nothing may call into it while the engine shuts down.
  fplyrPreview.Stop(true);
  TvlConvert->Engine.OnProgress = nullptr;
  TvlConvert->Engine.OnTerminate = nullptr;
  // A window that never showed never restored the queue: its file stays as it is.
  if (FLibrariesLoaded)
    FQueueSaver->SaveNow();
  FQueueSaver.reset();
  TvlConvert.reset();
  cbbFormatEx->clear();
  // The user's choices of this session are lost otherwise: they are told, not only the log.
  if (std::string error; !IniOptions.SaveToFile(FSettingsFile, &error)) {
    std::fprintf(stderr, "tavrelle: cannot write the settings to %s: %s\n", FSettingsFile.c_str(), error.c_str());
    platform::ShowMessage("The settings could not be saved to \"" + FSettingsFile + "\": " + error + ".",
                          platform::TMsgIcon::Error);
  }
}

void TTvlMainForm::CreateActions() {
  const auto action = [this](const char *name, const char *caption, const char *hint) {
    auto *a = new QAction(caption, this);
    a->setObjectName(name);
    // Buttons show the caption as written; the derived icon text would drop a trailing "...".
    a->setIconText(caption);
    if (*hint)
      a->setToolTip(hint);
    return a;
  };
  actAddFile = action("actAddFile", "Add Files", "Add Video/Audio File(s) to Convert");
  actAddFolder = action("actAddFolder", "Add Folder", "Add Folder to Convert");
  actEdit = action("actEdit", "Edit...", "");
  actRemoveFile = action("actRemoveFile", "Remove", "Remove the select file");
  actClear = action("actClear", "Clear", "Clear all files");
  actMoveUp = action("actMoveUp", "Move Up", "");
  actMoveDown = action("actMoveDown", "Move Down", "");
  actUndo = action("actUndo", "Undo", "Put back the files removed last");
  actUndo->setShortcut(QKeySequence::Undo);
  actUndo->setEnabled(false);
  addAction(actUndo);
  actStopAdding = action("actStopAdding", "Stop", "Stop adding files");
  actConvert = action("actConvert", "Convert", "Click to Start Convert");
  actOpenFolder = action("actOpenFolder", "Open...", "Browser Output Folder");
  actFormatSetting = action("actFormatSetting", "Setting...", "");
  actHelp = action("actHelp", "", "");
  actAbout = action("actAbout", "About", "About");
  actStatusDetails = action("actStatusDetails", "Status Details...", "Why the file has its status");
  actPlay = action("actPlay", "", "Play");
  actStop = action("actStop", "", "Stop");
  actPrevious = action("actPrevious", "", "Previous File");
  actNext = action("actNext", "", "Next File");
  actSnapshot = action("actSnapshot", "", "Snapshot");
  actOpenSnapshot = action("actOpenSnapshot", "", "Open Snapshot Folder");
  actSnapshotOptions = action("actSnapshotOptions", "", "Snapshot Options");

  connect(actAddFile, &QAction::triggered, this, &TTvlMainForm::actAddFileExecute);
  connect(actAddFolder, &QAction::triggered, this, &TTvlMainForm::actAddFolderExecute);
  connect(actRemoveFile, &QAction::triggered, this, &TTvlMainForm::actRemoveFileExecute);
  connect(actClear, &QAction::triggered, this, &TTvlMainForm::actClearExecute);
  connect(actMoveUp, &QAction::triggered, this, &TTvlMainForm::actMoveUpExecute);
  connect(actMoveDown, &QAction::triggered, this, &TTvlMainForm::actMoveDownExecute);
  connect(actUndo, &QAction::triggered, this, &TTvlMainForm::actUndoExecute);
  connect(actStopAdding, &QAction::triggered, this, &TTvlMainForm::actStopAddingExecute);
  connect(actConvert, &QAction::triggered, this, &TTvlMainForm::actConvertExecute);
  connect(actOpenFolder, &QAction::triggered, this, &TTvlMainForm::actOpenFolderExecute);
  connect(actFormatSetting, &QAction::triggered, this, &TTvlMainForm::actFormatSettingExecute);
  connect(actHelp, &QAction::triggered, this, &TTvlMainForm::ShowHelp);
  connect(actAbout, &QAction::triggered, this, &TTvlMainForm::ShowAbout);
  connect(actStatusDetails, &QAction::triggered, this, &TTvlMainForm::actStatusDetailsExecute);
  connect(actEdit, &QAction::triggered, this, &TTvlMainForm::actEditExecute);
  ConnectPreview();
}

void TTvlMainForm::CreateControls() {
  imgTop = NewLabel(this, "imgTop", QString(), QRect(0, 0, 730, 60));
  btnAbout = NewButton(this, "btnAbout", actAbout, QRect(690, 14, 32, 32), Qt::ToolButtonIconOnly);
  btnAbout->setAutoRaise(true);
  btnAbout->setIconSize(QSize(24, 24));
  CreateQueueArea();
  CreatePreviewArea();
  CreateOutputArea();
}

void TTvlMainForm::CreateQueueArea() {
  btnAddFile = NewButton(this, "btnAddFile", actAddFile, QRect(8, 68, 118, 38), Qt::ToolButtonTextBesideIcon);
  btnAddFolder =
      NewButton(this, "btnAddFolder", actAddFolder, QRect(132, 68, 126, 38), Qt::ToolButtonTextBesideIcon);
  btnEditFile =
      NewButton(this, "btnEditFile", actEdit, QRect(264, 68, 100, 38), Qt::ToolButtonTextBesideIcon);
  for (auto *button : {btnAddFile, btnAddFolder, btnEditFile})
    button->setIconSize(QSize(32, 32));

  lvFileList = new QTreeWidget(this);
  lvFileList->setObjectName("lvFileList");
  lvFileList->setGeometry(8, 112, 426, 284);
  lvFileList->setRootIsDecorated(false);
  lvFileList->setItemsExpandable(false);
  lvFileList->setUniformRowHeights(true);
  lvFileList->setAllColumnsShowFocus(true);
  lvFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvFileList->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvFileList->setColumnCount(std::size(Columns));
  auto *header = lvFileList->headerItem();
  for (int i = 0; i < static_cast<int>(std::size(Columns)); ++i) {
    header->setText(i, Columns[i].Caption);
    header->setTextAlignment(i, Columns[i].Alignment | Qt::AlignVCenter);
    lvFileList->setColumnWidth(i, Columns[i].Width ? Columns[i].Width : DefaultColumnWidth);
  }
  // The selection stays visible while another control has the focus.
  QPalette palette = lvFileList->palette();
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  lvFileList->setPalette(palette);
  // Files and folders dropped on the queue are added; the window's event filter takes the drop.
  lvFileList->viewport()->setAcceptDrops(true);
  connect(lvFileList, &QTreeWidget::itemSelectionChanged, this, &TTvlMainForm::lvFileListSelectItem);
  connect(lvFileList, &QTreeWidget::itemDoubleClicked, this, &TTvlMainForm::lvFileListDblClick);

  pm1 = new QMenu(this);
  pm1->setObjectName("pm1");
  pm1->addActions({actAddFile, actAddFolder, actEdit});
  pm1->addSeparator();
  pm1->addActions({actRemoveFile, actClear, actUndo});
  pm1->addSeparator();
  pm1->addAction(actStatusDetails);
  lvFileList->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lvFileList, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &at) { pm1->popup(lvFileList->viewport()->mapToGlobal(at)); });

  const int y = 402, h = 28;
  const auto style = Qt::ToolButtonTextBesideIcon;
  btnRemoveFile = NewButton(this, "btnRemoveFile", actRemoveFile, QRect(8, y, 92, h), style);
  btnClear = NewButton(this, "btnClear", actClear, QRect(104, y, 80, h), style);
  btnMoveUp = NewButton(this, "btnMoveUp", actMoveUp, QRect(188, y, 100, h), style);
  btnMoveDown = NewButton(this, "btnMoveDown", actMoveDown, QRect(292, y, 116, h), style);

  // While files are being added the queue cannot be edited: this panel covers those buttons.
  pnlAdding = new QFrame(this);
  pnlAdding->setObjectName("pnlAdding");
  pnlAdding->setGeometry(8, y, 426, h);
  pnlAdding->setAutoFillBackground(true); // the buttons it covers must not show through
  pbAdding = new QProgressBar(pnlAdding);
  pbAdding->setObjectName("pbAdding");
  pbAdding->setGeometry(0, 2, 326, h - 4);
  pbAdding->setFormat("%v / %m");
  btnStopAdding = NewButton(pnlAdding, "btnStopAdding", actStopAdding, QRect(334, 0, 92, h), style);
  pnlAdding->hide();
  FAddTimer = new QTimer(this);
  FAddTimer->setInterval(10);
  connect(FAddTimer, &QTimer::timeout, this, &TTvlMainForm::AddProbedFiles);
}

void TTvlMainForm::CreatePreviewArea() {
  pnlPreview = new QFrame(this);
  pnlPreview->setObjectName("pnlPreview");
  pnlPreview->setFrameShape(QFrame::StyledPanel);
  pnlPreview->setGeometry(440, 68, 282, 362);

  lblPreviewInfo = NewLabel(pnlPreview, "lblPreviewInfo", QString(), QRect(8, 6, 268, 22));
  pnlPreviewPlay = new TVideoPanel(pnlPreview);
  pnlPreviewPlay->setObjectName("pnlPreviewPlay");
  pnlPreviewPlay->setGeometry(1, 32, 280, 220);
  imgPreview = NewLabel(pnlPreviewPlay, "imgPreview", QString(), QRect(0, 0, 280, 220));
  imgPreview->setAlignment(Qt::AlignCenter);

  tbarPreview = new TTrackBar(pnlPreview);
  tbarPreview->setObjectName("tbarPreview");
  tbarPreview->setGeometry(8, 262, 268, 26);
  tbarPreview->setRange(0, 10);
  tbarPreview->OnMouseDown = [this] { tbarPreviewMouseDown(); };
  tbarPreview->OnMouseUp = [this] { tbarPreviewMouseUp(); };

  const auto button = [this](const char *name, QAction *action, int x) {
    auto *b = NewButton(pnlPreview, name, action, QRect(x, 302, 34, 34), Qt::ToolButtonIconOnly);
    b->setIconSize(QSize(20, 20));
    return b;
  };
  btnPlay = button("btnPlay", actPlay, 8);
  btnStop = button("btnStop", actStop, 44);
  btnPrevious = button("btnPrevious", actPrevious, 80);
  btnNext = button("btnNext", actNext, 116);
  btnSnapshot = button("btnSnapshot", actSnapshot, 170);
  btnOpenSnapshot = button("btnOpenSnapshot", actOpenSnapshot, 206);
  btnSnapShotOption = button("btnSnapShotOption", actSnapshotOptions, 242);
}

void TTvlMainForm::CreateOutputArea() {
  lblFormat = NewLabel(this, "lblFormat", "Output Format:", QRect(8, 448, 104, 30));
  cbbFormatEx = new QComboBox(this);
  cbbFormatEx->setObjectName("cbbFormatEx");
  cbbFormatEx->setGeometry(112, 448, 372, 30);
  cbbFormatEx->setToolTip("Select Output Format");
  // Only the user's choice is a change: filling and clearing the list must not touch the setting.
  connect(cbbFormatEx, &QComboBox::activated, this, &TTvlMainForm::cbbFormatExChange);

  lblOutputFolder = NewLabel(this, "lblOutputFolder", "Output Folder:", QRect(8, 488, 104, 30));
  edtOutputFolder = new QLineEdit(this);
  edtOutputFolder->setObjectName("edtOutputFolder");
  edtOutputFolder->setGeometry(112, 488, 372, 30);
  edtOutputFolder->setToolTip("Select output folder to save media...");
  // The folder dialog is the only way to change the folder. No length limit: unlike the typing limit
  // it stands for, QLineEdit would cut a longer folder chosen in the dialog.
  edtOutputFolder->setReadOnly(true);
  actBrowseOutputFolder =
      edtOutputFolder->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
  actBrowseOutputFolder->setObjectName("actBrowseOutputFolder");
  actBrowseOutputFolder->setToolTip("Select output folder to save media...");
  connect(actBrowseOutputFolder, &QAction::triggered, this, &TTvlMainForm::edtOutputFolderButtonClick);

  btnSetting =
      NewButton(this, "btnSetting", actFormatSetting, QRect(490, 448, 100, 30), Qt::ToolButtonTextOnly);
  btnOpenFolder =
      NewButton(this, "btnOpenFolder", actOpenFolder, QRect(490, 488, 100, 30), Qt::ToolButtonTextOnly);
  btnConvert =
      NewButton(this, "btnConvert", actConvert, QRect(600, 448, 122, 70), Qt::ToolButtonTextUnderIcon);
  btnConvert->setIconSize(QSize(40, 40));
}

void TTvlMainForm::LoadSkin() {
  QFile skin(ExePath(SkinFile));
  if (skin.open(QIODevice::ReadOnly | QIODevice::Text))
    qApp->setStyleSheet(QString::fromUtf8(skin.readAll()));
}

// The widths of the column table are too narrow for some fonts. A narrow column grows to what the list
// itself needs for its caption and its widest text, and the source column gives the room back, so the
// list still shows all columns side by side.
void TTvlMainForm::FitColumns() {
  lvFileList->ensurePolished();
  // The widest texts of the narrow columns: a long extension, a time, the longest state.
  const std::unique_ptr<QTreeWidgetItem> sample(
      new QTreeWidgetItem(lvFileList, {"", "mpeg", "00:00:00", "00:00:00", "Success", ""}));
  int grown = 0;
  for (const int column : {colType, colOriginal, colTrimmed, colStatus}) {
    const int width = lvFileList->columnWidth(column);
    lvFileList->resizeColumnToContents(column);
    lvFileList->setColumnWidth(column, std::max(width, lvFileList->columnWidth(column)));
    grown += lvFileList->columnWidth(column) - width;
  }
  lvFileList->setColumnWidth(colSource, lvFileList->columnWidth(colSource) - grown);
}

void TTvlMainForm::LoadPictures() {
  imgTop->setPixmap(LoadPicture("VideoRes/MainImage.png"));
  imgPreview->setPixmap(LoadPicture("VideoRes/MainPreview.png"));
  // A button shows the picture of its action, so the picture is given to the action.
  const struct {
    QAction *Action;
    const char *File;
  } glyphs[] = {
      {actAbout, "VideoRes/About.png"},         {actConvert, "VideoRes/Convert.png"},
      {actAddFolder, "VideoRes/AddFolder.png"}, {actAddFile, "VideoRes/AddFile.png"},
      {actEdit, "VideoRes/EditFile.png"},       {actRemoveFile, "VideoRes/Remove.png"},
      {actClear, "VideoRes/Clear.png"},         {actMoveUp, "VideoRes/MoveUp.png"},
      {actMoveDown, "VideoRes/MoveDown.png"},   {actPlay, "VideoRes/Play.png"},
      {actStop, "VideoRes/Stop.png"},           {actPrevious, "VideoRes/Previous.png"},
      {actNext, "VideoRes/Next.png"},           {actSnapshot, "VideoRes/Snapshot.png"},
      {actStopAdding, "VideoRes/Stop.png"},
      {actOpenSnapshot, "VideoRes/Open.png"},   {actSnapshotOptions, "VideoRes/SnapOption.png"},
  };
  for (const auto &glyph : glyphs)
    glyph.Action->setIcon(QIcon(LoadPicture(glyph.File)));
  il1 = {QIcon(LoadPicture("VideoRes/ListAudio.png")), QIcon(LoadPicture("VideoRes/ListVideo.png"))};
}

void TTvlMainForm::FillProfiles() {
  cbbFormatEx->clear();
  for (const auto &profile : IniOptions.Formats) {
    const bool hasImage = profile.Category >= 0 && profile.Category < il1.size();
    cbbFormatEx->addItem(hasImage ? il1[profile.Category] : QIcon(), QString::fromStdString(profile.Name));
  }
  cbbFormatEx->setCurrentIndex(IniOptions.OutputFormat);
}

void TTvlMainForm::ChooseOutputFolder() {
  if (!IniOptions.OutputFolder.empty()) {
    // A chosen folder is created by Convert, not at start.
    edtOutputFolder->setText(QString::fromStdString(IniOptions.OutputFolder));
    return;
  }
  // The default stays out of the settings: OutputFolder remains empty.
  const std::string folder = platform::DataFolders().OutputFolder;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  edtOutputFolder->setText(QString::fromStdString(folder));
}

void TTvlMainForm::SetUpFileDialog() {
  const std::string video = VideoExtensions, audio = AudioExtensions;
  dlgFile.Multiple = true;
  // "All Files" means every file: the pattern "*.*" would hide the names without a dot.
  dlgFile.Filters = {
      {"All Supported Video/Audio Files", WithLowerCasePatterns(video + audio)},
      {"Video Files(" + video + ")", WithLowerCasePatterns(video)},
      {"Audio Files(" + audio + ")", WithLowerCasePatterns(audio)},
      {"All Files(*.*)", "*"},
  };
  dlgFile.FilterIndex = 0;
}

void TTvlMainForm::UpdateControls() {
  // The play buttons are not refreshed here: the player's state event does that.
  actStopExecute();
  PlayState = psStop;
  const QTreeWidgetItem *row = SelectedIndex >= 0 ? lvFileList->topLevelItem(SelectedIndex) : nullptr;
  lblPreviewInfo->setText("Preview:" + (row ? row->text(0) : QString()));
  const int position = SelectedPosition();
  const bool hasSelection = position >= 0;
  const bool hasRows = lvFileList->topLevelItemCount() > 0;
  // Decided: the queue is not edited or converted while files are being added.
  const bool adding = Adding();
  actRemoveFile->setEnabled(hasSelection && !adding);
  actEdit->setEnabled(hasSelection);
  actClear->setEnabled(hasRows && !adding);
  actConvert->setEnabled(hasRows && !adding);
  actStopAdding->setEnabled(adding);
  // A selection moves while some part of it can.
  const auto movable = [this](int step) {
    const std::vector<int> selected = SelectedPositions();
    return MoveSelection(selected, lvFileList->topLevelItemCount(), step, [](int, int) {}) != selected;
  };
  actMoveUp->setEnabled(hasSelection && !adding && movable(-1));
  actPrevious->setEnabled(hasSelection && position > 0);
  actMoveDown->setEnabled(hasSelection && !adding && movable(1));
  actUndo->setEnabled(FUndo->CanUndo() && !adding);
  actNext->setEnabled(hasSelection && position < lvFileList->topLevelItemCount() - 1);
  actStatusDetails->setEnabled(!SelectedStatusReason().isEmpty());
  actPlay->setEnabled(hasSelection && (PlayState == psPause || PlayState == psStop));
  actStop->setEnabled(hasSelection && PlayState != psStop);
}

void TTvlMainForm::UpdatePlayButtons() {
  const bool stopped = PlayState == psStop || PlayState == psEnd;
  imgPreview->setVisible(stopped);
  actPlay->setEnabled(stopped);
  actStop->setEnabled(!stopped);
  if (stopped)
    tbarPreview->setValue(0);
  actSnapshot->setEnabled(PlayState == psPlay || PlayState == psPause || PlayState == psResume);
}

bool TTvlMainForm::eventFilter(QObject *watched, QEvent *event) {
  if (watched == lvFileList->viewport() && lvFileListDrop(event))
    return true;
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget *>(watched)->window() == this) {
    if (FormKeyDown(watched, static_cast<QKeyEvent *>(event)->key()))
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

bool TTvlMainForm::lvFileListDrop(QEvent *event) {
  const auto type = event->type();
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
    return false;
  auto *drop = static_cast<QDropEvent *>(event);
  std::vector<std::string> paths;
  for (const QUrl &url : drop->mimeData()->urls())
    if (url.isLocalFile())
      paths.push_back(url.toLocalFile().toStdString());
  if (paths.empty()) {
    drop->ignore();
    return true;
  }
  drop->acceptProposedAction();
  if (type == QEvent::Drop)
    // After the drop has ended: the source's drag must not wait on our messages.
    QTimer::singleShot(0, this, [this, paths] { QueuePaths(paths); });
  return true;
}

bool TTvlMainForm::FormKeyDown(QObject *watched, int key) {
  if (key == Qt::Key_Delete && watched == lvFileList) {
    if (SelectedPosition() < 0)
      return false;
    actRemoveFileExecute();
    return true;
  }
  if (key != Qt::Key_F1)
    return false;
  actHelp->trigger();
  return true;
}

void TTvlMainForm::ShowHelp() {
  platform::Shell().Open(platform::ExeFolder() + HelpPage);
}

void TTvlMainForm::ShowAbout() {
  TAboutBox box(this);
  box.exec();
}

void TTvlMainForm::cbbFormatExChange(int index) {
  IniOptions.OutputFormat = index;
}

void TTvlMainForm::actFormatSettingExecute() {
  const int index = cbbFormatEx->currentIndex();
  // No settings file, or a selection the file does not hold.
  if (index < 0) {
    platform::ShowMessage("There is no output profile to edit.", platform::TMsgIcon::Warning);
    return;
  }
  TSettingForm dialog(this);
  if (dialog.Execute(index) != QDialog::Accepted)
    return;
  // The profile in memory has changed either way; the user must know when it will not survive.
  if (!IniOptions.SaveFormatValues(FSettingsFile, index))
    platform::ShowMessage("The format settings could not be saved to \"" + FSettingsFile + "\".",
                          platform::TMsgIcon::Warning);
}

void TTvlMainForm::edtOutputFolderButtonClick() {
  const std::string folder =
      platform::Dialogs().SelectFolder("Select output folder", edtOutputFolder->text().toStdString());
  if (folder.empty())
    return;
  edtOutputFolder->setText(QString::fromStdString(folder));
  IniOptions.OutputFolder = folder;
}

QTreeWidgetItem *TTvlMainForm::AddRow(const TInputFile &file) {
  const QString length = QString::fromStdString(FormatSeconds(file.Duration));
  // A restored or re-added record may carry its trim already.
  const QString trimmed = IsTrimmed(file) ? QString::fromStdString(FormatSeconds(static_cast<int32_t>(file.TrimDuration / 1000)))
                                          : length;
  auto *row =
      new QTreeWidgetItem(lvFileList, {QString::fromStdString(FileNameOf(file.FileName)),
                                       QString::fromStdString(file.FileType), length, trimmed, "-", ""});
  for (int i = 0; i < static_cast<int>(std::size(Columns)); ++i)
    row->setTextAlignment(i, Columns[i].Alignment | Qt::AlignVCenter);
  // What the file holds, not what its name says: a .webm or .ogg may be either.
  row->setIcon(colSource, il1.value(file.HasVideo ? 1 : 0));
  // The column shows the name only, often cut off.
  row->setToolTip(colSource, QString::fromStdString(file.FileName));
  return row;
}

void TTvlMainForm::SelectRow(int position) {
  lvFileList->setCurrentItem(lvFileList->topLevelItem(position));
}

int TTvlMainForm::SelectedPosition() const {
  if (QTreeWidgetItem *current = lvFileList->currentItem(); current && current->isSelected())
    return lvFileList->indexOfTopLevelItem(current);
  const std::vector<int> selected = SelectedPositions();
  return selected.empty() ? -1 : selected.front();
}

std::vector<int> TTvlMainForm::SelectedPositions() const {
  std::vector<int> positions;
  for (QTreeWidgetItem *row : lvFileList->selectedItems())
    positions.push_back(lvFileList->indexOfTopLevelItem(row));
  std::sort(positions.begin(), positions.end());
  return positions;
}

void TTvlMainForm::SelectRows(const std::vector<int> &positions, int current) {
  if (positions.empty())
    return;
  // Edit and the preview take the current row.
  SelectRow(current);
  for (const int p : positions)
    lvFileList->topLevelItem(p)->setSelected(true);
}

void TTvlMainForm::actAddFileExecute() {
  dlgFile.InitialFolder =
      IniOptions.InputFolder.empty() ? QDir::homePath().toStdString() : IniOptions.InputFolder;
  const std::vector<std::string> paths = platform::Dialogs().OpenFiles(dlgFile);
  if (paths.empty())
    return;
  IniOptions.InputFolder = std::filesystem::path(paths.front()).parent_path().string();
  AddFiles(paths);
}

void TTvlMainForm::actAddFolderExecute() {
  const std::string start =
      IniOptions.InputFolder.empty()
          ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString()
          : IniOptions.InputFolder;
  const std::string folder = platform::Dialogs().SelectFolder("Select Folder To Converter", start);
  if (folder.empty())
    return;
  IniOptions.InputFolder = folder;
  AddFolder(folder);
}

void TTvlMainForm::AddFiles(const std::vector<std::string> &paths) {
  FAddRequests.push_back({paths, {}});
  StartNextAdd();
}

void TTvlMainForm::AddFolder(std::string folder) {
  if (folder.empty())
    return;
  if (folder.back() != '/')
    folder += '/';
  FAddRequests.push_back({{}, std::move(folder)});
  StartNextAdd();
}

bool TTvlMainForm::Adding() const {
  return FFiller != nullptr;
}

void TTvlMainForm::StartNextAdd() {
  if (FFiller || FAddRequests.empty())
    return;
  TAddRequest request = std::move(FAddRequests.front());
  FAddRequests.pop_front();
  FFolderAdd = !request.Folder.empty();
  FLoaded = FFailed = 0;
  FFirstAdded = -1;
  FFiller = FFolderAdd ? TQueueFiller::ForFolder(request.Folder)
                       : std::make_unique<TQueueFiller>(std::move(request.Paths));
  pbAdding->setRange(0, 0); // busy until the number of files is known
  pnlAdding->raise();
  pnlAdding->show();
  UpdateControls();
  FAddTimer->start();
}

void TTvlMainForm::AddProbedFiles() {
  if (FAddingRows || FConverting || !FFiller)
    return;
  FAddingRows = true;
  const auto done = qScopeGuard([this] { FAddingRows = false; });
  // A slice of rows per tick: the window paints and answers between slices.
  QElapsedTimer slice;
  slice.start();
  while (slice.elapsed() < 15) {
    if (FProbedNext >= FProbed.size()) {
      FProbed = FFiller->Take();
      FProbedNext = 0;
      if (FProbed.empty())
        break;
    }
    AddProbedFile(FProbed[FProbedNext++]);
  }
  SelectLastAdded();
  if (const int total = FFiller->Total(); total >= 0)
    pbAdding->setRange(0, total);
  pbAdding->setValue(FLoaded + FFailed);
  if (FProbedNext >= FProbed.size() && FFiller->Done())
    EndAdd();
}

void TTvlMainForm::AddProbedFile(TProbedFile &probed) {
  const std::string &path = probed.Path;
  const int position = TvlConvert->AddProbed(path, std::move(probed.File));
  if (position < 0) {
    ++FFailed;
    if (!FFolderAdd)
      SelectLastAdded(); // the message comes after the rows before it, as they were added
    // Add Folder only counts the files it could not queue.
    if (!FFolderAdd && position == TTvlConvert::Unusable) {
      const std::string special = NotRegularFileText(path); // a pipe or a device: say what it is
      platform::ShowMessage(special.empty() ? "Load failed.\"" + path + "\" is unsupported." : special);
    } else if (!FFolderAdd)
      platform::ShowMessage("\"" + path + "\" is already existing.");
    return;
  }
  ++FLoaded;
  AddRow(TvlConvert->Files[position]);
  FQueueSaver->Changed();
  if (!FFolderAdd)
    FLastAdded = position;
  else if (FFirstAdded < 0)
    FFirstAdded = position;
}

void TTvlMainForm::SelectLastAdded() {
  // Each new row of Add Files is selected in turn; selecting only the last of a slice shows the
  // same and keeps a long list from redrawing the selection row by row.
  if (FLastAdded >= 0)
    SelectRow(FLastAdded);
  FLastAdded = -1;
}

void TTvlMainForm::EndAdd() {
  FQueueSaver->SaveNow();
  FAddTimer->stop();
  FFiller.reset();
  FProbed.clear();
  FProbedNext = 0;
  pnlAdding->hide();
  if (FFolderAdd) {
    if (FFirstAdded >= 0)
      SelectRow(FFirstAdded);
    platform::ShowMessage(std::to_string(FLoaded) + " file(s) loaded, " + std::to_string(FFailed) +
                          " file(s) failed.");
  }
  UpdateControls();
  StartNextAdd();
}

void TTvlMainForm::actStopAddingExecute() {
  // What was probed already is still added; nothing waiting starts.
  FAddRequests.clear();
  if (FFiller)
    FFiller->Stop();
}

void TTvlMainForm::QueuePaths(const std::vector<std::string> &paths) {
  FPendingPaths.insert(FPendingPaths.end(), paths.begin(), paths.end());
  // Never while a run, a message or a dialog is open: the queue must not change under them.
  if (QApplication::activeModalWidget()) {
    if (!FRetryScheduled) {
      FRetryScheduled = true;
      QTimer::singleShot(PendingRetryMs, this, [this] {
        FRetryScheduled = false;
        QueuePaths({});
      });
    }
    return;
  }
  const std::vector<std::string> pending = std::exchange(FPendingPaths, {});
  // Folders as Add Folder does; the files between them together, as Add Files does.
  std::vector<std::string> files;
  for (const std::string &path : pending) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
      files.push_back(path);
      continue;
    }
    if (!files.empty())
      AddFiles(std::exchange(files, {}));
    AddFolder(path);
  }
  if (!files.empty())
    AddFiles(files);
}

void TTvlMainForm::actRemoveFileExecute() {
  const std::vector<int> positions = SelectedPositions();
  // The Delete key comes here past the disabled action.
  if (positions.empty() || Adding())
    return;
  actStopExecute();
  for (auto p = positions.rbegin(); p != positions.rend(); ++p)
    delete lvFileList->takeTopLevelItem(*p);
  // Instead of asking first: Undo puts them back.
  FUndo->Remove(TvlConvert->Files, positions);
  if (const int rows = lvFileList->topLevelItemCount(); rows > 0)
    SelectRow(std::min(positions.front(), rows - 1));
  UpdateControls();
  FQueueSaver->SaveNow();
}

void TTvlMainForm::actClearExecute() {
  if (Adding())
    return;
  SelectedIndex = -1;
  lvFileList->clear();
  std::vector<int> all(static_cast<std::size_t>(TvlConvert->Files.Count()));
  std::iota(all.begin(), all.end(), 0);
  FUndo->Remove(TvlConvert->Files, all);
  UpdateControls();
  FQueueSaver->SaveNow();
}

void TTvlMainForm::actUndoExecute() {
  if (!FUndo->CanUndo() || Adding())
    return;
  const std::vector<int> restored = FUndo->Undo(TvlConvert->Files);
  for (const int p : restored) {
    QTreeWidgetItem *row = AddRow(TvlConvert->Files[p]);
    lvFileList->insertTopLevelItem(p, lvFileList->takeTopLevelItem(lvFileList->indexOfTopLevelItem(row)));
  }
  ShowResults();
  SelectRows(restored, restored.empty() ? -1 : restored.front());
  UpdateControls();
  FQueueSaver->SaveNow();
}

void TTvlMainForm::actMoveUpExecute() {
  MoveSelected(-1);
}

void TTvlMainForm::actMoveDownExecute() {
  MoveSelected(1);
}

void TTvlMainForm::MoveSelected(int step) {
  const std::vector<int> selected = SelectedPositions();
  if (selected.empty() || Adding())
    return;
  const int current = SelectedPosition();
  const std::vector<int> moved =
      MoveSelection(selected, lvFileList->topLevelItemCount(), step, [this](int from, int to) {
        TvlConvert->Files.Exchange(from, to);
        lvFileList->insertTopLevelItem(to, lvFileList->takeTopLevelItem(from));
      });
  // The current row stays the current one wherever it went.
  const auto at = std::find(selected.begin(), selected.end(), current) - selected.begin();
  SelectRows(moved, moved[static_cast<std::size_t>(at)]);
  FQueueSaver->SaveNow();
}

void TTvlMainForm::lvFileListSelectItem() {
  // A row losing the selection leaves SelectedIndex as it was.
  if (const int position = SelectedPosition(); position >= 0)
    SelectedIndex = position;
  UpdateControls();
}

void TTvlMainForm::lvFileListDblClick() {
  // Play's own rules, also while the Play button is disabled: a double click pauses a playing preview.
  actPlayExecute();
}

void TTvlMainForm::actConvertExecute() {
  if (Adding())
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
  FConverting = true;
  const auto converted = qScopeGuard([this] { FConverting = false; });
  if (PlayState == psPlay || PlayState == psResume)
    actStopExecute();
  const std::string folder = edtOutputFolder->text().toStdString();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec) && !std::filesystem::create_directory(folder, ec)) {
    platform::ShowMessage("The output folder does not exist, please select another output folder.",
                          platform::TMsgIcon::Warning);
    return;
  }
  ClearResults(include);
  const int profile = cbbFormatEx->currentIndex();
  // A close asked for during the run takes effect once the run is over.
  const auto closeAfterRun = qScopeGuard([this] {
    FRun = TRun::None;
    if (std::exchange(FCloseAfterRun, false))
      close();
  });
  bool built = false;
  {
    // Building a long queue keeps the window painting; no command may change the queue meanwhile.
    setEnabled(false);
    const auto enable = qScopeGuard([this] { setEnabled(true); });
    FRun = TRun::Building;
    built = TvlConvert->BuildRun(profile, folder, include);
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
  ShowResults();
  TvlConvert->EndRun();
  FQueueSaver->RunEnded();
}

void TTvlMainForm::ClearResults(const std::function<bool(const TInputFile &)> &include) {
  for (int p = 0; p < lvFileList->topLevelItemCount(); ++p) {
    QTreeWidgetItem *row = lvFileList->topLevelItem(p);
    if (include && p < TvlConvert->Files.Count() && !include(TvlConvert->Files[p]))
      continue; // not part of this run: its result stays
    row->setText(colStatus, "-");
    row->setToolTip(colStatus, QString());
    row->setText(colDestination, QString());
    row->setToolTip(colDestination, QString());
  }
}

void TTvlMainForm::RestoreQueue() {
  std::string problem;
  const TQueueRun run = FQueueSaver->Keeper.Restore(problem);
  if (!problem.empty())
    platform::ShowMessage(problem, platform::TMsgIcon::Warning);
  for (int p = 0; p < TvlConvert->Files.Count(); ++p)
    AddRow(TvlConvert->Files[p]);
  ShowResults();
  UpdateControls();
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
  if (run.Profile >= 0 && run.Profile < cbbFormatEx->count()) {
    cbbFormatEx->setCurrentIndex(run.Profile);
    IniOptions.OutputFormat = run.Profile;
  }
  if (!run.Folder.empty())
    edtOutputFolder->setText(QString::fromStdString(run.Folder));
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

void TTvlMainForm::ShowResults() {
  for (int p = 0; p < lvFileList->topLevelItemCount() && p < TvlConvert->Files.Count(); ++p) {
    const TInputFile &file = TvlConvert->Files[p];
    QTreeWidgetItem *row = lvFileList->topLevelItem(p);
    switch (file.Status) {
    case csSuccess:
      row->setText(colStatus, "Success");
      row->setText(colDestination, QString::fromStdString(FileNameOf(file.OutputOptions.FileName)));
      row->setToolTip(colDestination, QString::fromStdString(file.OutputOptions.FileName));
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

QString TTvlMainForm::SelectedStatusReason() const {
  const int position = SelectedPosition();
  return position < 0 ? QString() : lvFileList->topLevelItem(position)->toolTip(colStatus);
}

void TTvlMainForm::actStatusDetailsExecute() {
  const QString reason = SelectedStatusReason();
  if (reason.isEmpty())
    return;
  const QTreeWidgetItem *row = lvFileList->topLevelItem(SelectedPosition());
  platform::ShowMessage((row->text(colSource) + " (" + row->text(colStatus) + "): " + reason).toStdString());
}

void TTvlMainForm::actOpenFolderExecute() {
  platform::Shell().Open(edtOutputFolder->text().toStdString());
}

void TTvlMainForm::actEditExecute() {
  const int position = SelectedPosition();
  if (position < 0)
    return;
  // One playback at a time: the preview ends before the edit window plays.
  actStopExecute();
  TEditForm form(*TvlConvert, this);
  if (!form.Edit(position))
    return;
  TInputFile &file = TvlConvert->Files[position];
  file.AspectIndex = form.AspectIndex();
  const int64_t start = std::min(form.MarkIn, form.MarkOut);
  const int64_t length = form.MarkOut > form.MarkIn ? form.MarkOut - form.MarkIn : form.MarkIn - form.MarkOut;
  // Such a trim would convert into an empty file: the trim stays as it was, and the user is told.
  if (length == 0 || start >= file.DurationMs) {
    platform::ShowMessage(length == 0 ? "The trim was not changed: Mark In and Mark Out are at the same place."
                                      : "The trim was not changed: it starts after the end of the file.",
                          platform::TMsgIcon::Warning);
    return;
  }
  file.TrimStart = start;
  file.TrimDuration = length;
  lvFileList->topLevelItem(position)->setText(colTrimmed,
                                              QString::fromStdString(FormatSeconds(static_cast<int32_t>(length / 1000))));
  FQueueSaver->SaveNow();
}
