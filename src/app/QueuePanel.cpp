#include "app/QueuePanel.h"

#include "app/PanelKit.h"
#include "app/QueueColumns.h"
#include "convert/ConvertHelpers.h"
#include "convert/ConvertUnt.h"
#include "convert/QueueEdit.h"
#include "convert/QueueFiller.h"
#include "convert/SizeSampling.h"
#include "edit/EditFrm.h"
#include "edit/TrackList.h"
#include "edit/TargetSizeBox.h"
#include "platform/Dialogs.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <utility>

using panels::NewAction;
using panels::NewButton;
using namespace queue_columns;

namespace {

// Columns of the queue: caption and alignment.
struct TColumn {
  const char *Caption;
  Qt::Alignment Alignment;
};
constexpr TColumn Columns[] = {
    {"Source", Qt::AlignLeft},   {"Type", Qt::AlignHCenter},   {"Original", Qt::AlignHCenter},
    {"Trimmed", Qt::AlignLeft}, {"Status", Qt::AlignHCenter}, {"Distination File", Qt::AlignLeft},
    {"Size", Qt::AlignRight},
};
// The destination column's width until the user gives it another.
constexpr int DestinationWidth = 60;

// The column shows the name only, often cut off; the tip adds the tracks the output keeps, once
// they are known (a restored record reads them when it is edited or converted).
QString SourceTip(const TInputFile &file) {
  if (!file.TracksRead)
    return ShownName(file.FileName);
  return ShownName(file.FileName) + "\n" +
         QString::fromStdString(TrackSummary(file.Tracks, file.AudioChoice, file.SubtitleChoice));
}
} // namespace

TQueuePanel::TQueuePanel(TTvlConvert &convert, const QList<QIcon> &rowImages, QWidget *parent)
    : QWidget(parent), FConvert(convert), FRowImages(rowImages), FUndo(std::make_unique<TQueueUndo>()) {
  setObjectName("pnlQueue");
  CreateActions();
  CreateList();
  CreateButtons();
  LayOut();
  SetUpFileDialog();
}

TQueuePanel::~TQueuePanel() = default;

void TQueuePanel::CreateActions() {
  actAddFile = NewAction(this, "actAddFile", "Add Files", "Add Video/Audio File(s) to Convert");
  actAddFolder = NewAction(this, "actAddFolder", "Add Folder", "Add Folder to Convert");
  actEdit = NewAction(this, "actEdit", "Edit...", "");
  actRemoveFile = NewAction(this, "actRemoveFile", "Remove", "Remove the select file");
  actClear = NewAction(this, "actClear", "Clear", "Clear all files");
  actMoveUp = NewAction(this, "actMoveUp", "Move Up", "");
  actMoveDown = NewAction(this, "actMoveDown", "Move Down", "");
  actUndo = NewAction(this, "actUndo", "Undo", "Put back the files removed last");
  panels::SetShortcuts(actUndo, QKeySequence::keyBindings(QKeySequence::Undo));
  panels::SetShortcuts(actAddFile, {Qt::CTRL | Qt::Key_O});
  panels::SetShortcuts(actAddFolder, {Qt::CTRL | Qt::SHIFT | Qt::Key_O});
  panels::SetShortcuts(actEdit, {Qt::CTRL | Qt::Key_E});
  actUndo->setEnabled(false);
  addAction(actUndo);
  actStopAdding = NewAction(this, "actStopAdding", "Stop", "Stop adding files");
  actStatusDetails = NewAction(this, "actStatusDetails", "Status Details...", "Why the file has its status");

  connect(actAddFile, &QAction::triggered, this, &TQueuePanel::actAddFileExecute);
  connect(actAddFolder, &QAction::triggered, this, &TQueuePanel::actAddFolderExecute);
  connect(actRemoveFile, &QAction::triggered, this, &TQueuePanel::actRemoveFileExecute);
  connect(actClear, &QAction::triggered, this, &TQueuePanel::actClearExecute);
  connect(actUndo, &QAction::triggered, this, &TQueuePanel::actUndoExecute);
  connect(actMoveUp, &QAction::triggered, this, [this] { MoveSelected(-1); });
  connect(actMoveDown, &QAction::triggered, this, [this] { MoveSelected(1); });
  connect(actStopAdding, &QAction::triggered, this, &TQueuePanel::actStopAddingExecute);
  connect(actStatusDetails, &QAction::triggered, this, &TQueuePanel::actStatusDetailsExecute);
  connect(actEdit, &QAction::triggered, this, &TQueuePanel::actEditExecute);
}

void TQueuePanel::CreateList() {
  btnAddFile = NewButton(this, "btnAddFile", actAddFile, QSize(118, 38), Qt::ToolButtonTextBesideIcon);
  btnAddFolder = NewButton(this, "btnAddFolder", actAddFolder, QSize(126, 38), Qt::ToolButtonTextBesideIcon);
  btnEditFile = NewButton(this, "btnEditFile", actEdit, QSize(100, 38), Qt::ToolButtonTextBesideIcon);
  for (auto *button : {btnAddFile, btnAddFolder, btnEditFile})
    button->setIconSize(QSize(32, 32));

  lvFileList = new QTreeWidget(this);
  lvFileList->setObjectName("lvFileList");
  lvFileList->setAccessibleName("Queue");
  lvFileList->setMinimumSize(426, 284);
  lvFileList->setRootIsDecorated(false);
  lvFileList->setItemsExpandable(false);
  lvFileList->setUniformRowHeights(true);
  lvFileList->setAllColumnsShowFocus(true);
  lvFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvFileList->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvFileList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Long names keep their start and their extension: "VID_2019…170832.mp4".
  lvFileList->setTextElideMode(Qt::ElideMiddle);
  lvFileList->setColumnCount(std::size(Columns));
  auto *header = lvFileList->headerItem();
  for (int i = 0; i < static_cast<int>(std::size(Columns)); ++i) {
    header->setText(i, Columns[i].Caption);
    header->setTextAlignment(i, Columns[i].Alignment | Qt::AlignVCenter);
  }
  header->setToolTip(colEstimate, "Estimated output size with the chosen profile");
  FitColumns();
  // The selection stays visible while another control has the focus.
  QPalette palette = lvFileList->palette();
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  lvFileList->setPalette(palette);
  // Files and folders dropped on the queue are added.
  lvFileList->viewport()->setAcceptDrops(true);
  lvFileList->viewport()->installEventFilter(this);
  connect(lvFileList, &QTreeWidget::itemSelectionChanged, this, &TQueuePanel::lvFileListSelectItem);
  // Play's own rules, also while the Play button is disabled: a double click pauses a playing preview.
  connect(lvFileList, &QTreeWidget::itemDoubleClicked, this, &TQueuePanel::PlayRequested);
  CreateMenu();
}

void TQueuePanel::CreateMenu() {
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
}

void TQueuePanel::CreateButtons() {
  const int h = 28;
  const auto style = Qt::ToolButtonTextBesideIcon;
  btnRemoveFile = NewButton(this, "btnRemoveFile", actRemoveFile, QSize(92, h), style);
  btnClear = NewButton(this, "btnClear", actClear, QSize(80, h), style);
  btnMoveUp = NewButton(this, "btnMoveUp", actMoveUp, QSize(100, h), style);
  btnMoveDown = NewButton(this, "btnMoveDown", actMoveDown, QSize(116, h), style);

  // While files are being added the queue cannot be edited: this panel covers those buttons.
  pnlAdding = new QFrame(this);
  pnlAdding->setObjectName("pnlAdding");
  pnlAdding->setAutoFillBackground(true); // the buttons it covers must not show through
  pbAdding = new QProgressBar(pnlAdding);
  pbAdding->setObjectName("pbAdding");
  pbAdding->setFormat("%v / %m");
  btnStopAdding = NewButton(pnlAdding, "btnStopAdding", actStopAdding, QSize(92, h), style);
  auto *adding = new QHBoxLayout(pnlAdding);
  adding->setContentsMargins(0, 0, 0, 0);
  adding->setSpacing(8);
  adding->addWidget(pbAdding, 1);
  adding->addWidget(btnStopAdding);
  pnlAdding->hide();
  FAddTimer = new QTimer(this);
  FAddTimer->setInterval(10);
  connect(FAddTimer, &QTimer::timeout, this, &TQueuePanel::AddProbedFiles);
}

// The list takes what the window gains; the button rows keep their height, the adding panel lies over
// the lower one.
void TQueuePanel::LayOut() {
  auto *top = new QHBoxLayout;
  top->setSpacing(6);
  for (QWidget *button : {btnAddFile, btnAddFolder, btnEditFile})
    top->addWidget(button);
  top->addStretch();
  auto *buttons = new QHBoxLayout;
  buttons->setSpacing(4);
  for (QWidget *button : {btnRemoveFile, btnClear, btnMoveUp, btnMoveDown})
    buttons->addWidget(button);
  buttons->addStretch();
  auto *bottom = new QGridLayout;
  bottom->addLayout(buttons, 0, 0);
  bottom->addWidget(pnlAdding, 0, 0);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addLayout(top);
  layout->addWidget(lvFileList, 1);
  layout->addLayout(bottom);
}

void TQueuePanel::SetUpFileDialog() {
  const std::string video = VideoExtensions, audio = AudioExtensions;
  dlgFile.Multiple = true;
  // "All Files" means every file: the pattern "*.*" would hide the names without a dot.
  dlgFile.Filters = {
      {"All Supported Video/Audio Files", video + audio, "*.mp4 *.mkv *.avi *.mp3"},
      {"Video Files", video, "*.mp4 *.mkv *.avi *.mov"},
      {"Audio Files", audio, "*.mp3 *.m4a *.flac *.wav"},
      {"All Files", "*", ""},
  };
  dlgFile.FilterIndex = 0;
}

void TQueuePanel::LoadPictures() {
  // A button shows the picture of its action, so the picture is given to the action.
  const struct {
    QAction *Action;
    const char *File;
  } glyphs[] = {
      {actAddFolder, "VideoRes/AddFolder.png"}, {actAddFile, "VideoRes/AddFile.png"},
      {actEdit, "VideoRes/EditFile.png"},       {actRemoveFile, "VideoRes/Remove.png"},
      {actClear, "VideoRes/Clear.png"},         {actMoveUp, "VideoRes/MoveUp.png"},
      {actMoveDown, "VideoRes/MoveDown.png"},   {actStopAdding, "VideoRes/Stop.png"},
  };
  for (const auto &glyph : glyphs)
    glyph.Action->setIcon(panels::LoadIcon(glyph.File));
}

// The Source column takes the room the list gains; the short columns fit their texts whatever they
// become ("Canceled" after a run); the destination keeps the width the user gives it.
void TQueuePanel::FitColumns() {
  QHeaderView *header = lvFileList->header();
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(24);
  header->setSectionResizeMode(colSource, QHeaderView::Stretch);
  for (const int column : {colType, colOriginal, colTrimmed, colStatus, colEstimate})
    header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(colDestination, QHeaderView::Interactive);
  lvFileList->setColumnWidth(colDestination, DestinationWidth);
}

void TQueuePanel::UpdateActions() {
  const int position = SelectedPosition();
  const bool hasSelection = position >= 0;
  const bool hasRows = lvFileList->topLevelItemCount() > 0;
  // Decided: the queue is not edited or converted while files are being added.
  const bool adding = Adding();
  actRemoveFile->setEnabled(hasSelection && !adding);
  actEdit->setEnabled(hasSelection);
  actClear->setEnabled(hasRows && !adding);
  actStopAdding->setEnabled(adding);
  actMoveUp->setEnabled(hasSelection && !adding && Movable(-1));
  actMoveDown->setEnabled(hasSelection && !adding && Movable(1));
  actUndo->setEnabled(FUndo->CanUndo() && !adding);
  actStatusDetails->setEnabled(!SelectedStatusReason().isEmpty());
}

bool TQueuePanel::Movable(int step) const {
  const std::vector<int> selected = SelectedPositions();
  return MoveSelection(selected, lvFileList->topLevelItemCount(), step, [](int, int) {}) != selected;
}

QTreeWidgetItem *TQueuePanel::AddRow(const TInputFile &file) {
  const QString length = QString::fromStdString(FormatSeconds(file.Duration));
  // A restored or re-added record may carry its trim already.
  const QString trimmed =
      IsTrimmed(file) ? QString::fromStdString(FormatSeconds(static_cast<int32_t>(OutputLengthMs(file) / 1000))) : length;
  auto *row =
      new QTreeWidgetItem(lvFileList, {FileNameOf(file.FileName),
                                       QString::fromStdString(file.FileType), length, trimmed, "-", "", ""});
  for (int i = 0; i < static_cast<int>(std::size(Columns)); ++i)
    row->setTextAlignment(i, Columns[i].Alignment | Qt::AlignVCenter);
  // What the file holds, not what its name says: a .webm or .ogg may be either.
  row->setIcon(colSource, FRowImages.value(file.HasVideo ? 1 : 0));
  row->setToolTip(colSource, SourceTip(file));
  return row;
}

void TQueuePanel::SelectRow(int position) {
  lvFileList->setCurrentItem(lvFileList->topLevelItem(position));
}

bool TQueuePanel::SelectStep(int step) {
  const int position = SelectedPosition(), to = position + step;
  if (position < 0 || to < 0 || to >= lvFileList->topLevelItemCount())
    return false;
  SelectRow(to);
  return true;
}

int TQueuePanel::SelectedPosition() const {
  if (QTreeWidgetItem *current = lvFileList->currentItem(); current && current->isSelected())
    return lvFileList->indexOfTopLevelItem(current);
  const std::vector<int> selected = SelectedPositions();
  return selected.empty() ? -1 : selected.front();
}

std::vector<int> TQueuePanel::SelectedPositions() const {
  std::vector<int> positions;
  for (QTreeWidgetItem *row : lvFileList->selectedItems())
    positions.push_back(lvFileList->indexOfTopLevelItem(row));
  std::sort(positions.begin(), positions.end());
  return positions;
}

void TQueuePanel::SelectRows(const std::vector<int> &positions, int current) {
  if (positions.empty())
    return;
  SelectRow(current);
  for (const int p : positions)
    lvFileList->topLevelItem(p)->setSelected(true);
}

void TQueuePanel::actAddFileExecute() {
  dlgFile.InitialFolder =
      IniOptions.InputFolder.empty() ? QDir::homePath().toStdString() : IniOptions.InputFolder;
  const std::vector<std::string> paths = platform::Dialogs().OpenFiles(dlgFile);
  if (paths.empty())
    return;
  IniOptions.InputFolder = std::filesystem::path(paths.front()).parent_path().string();
  AddFiles(paths);
}

void TQueuePanel::actAddFolderExecute() {
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

void TQueuePanel::actRemoveFileExecute() {
  const std::vector<int> positions = SelectedPositions();
  // The Delete key comes here past the disabled action.
  if (positions.empty() || Adding())
    return;
  emit StopPreviewRequested();
  for (auto p = positions.rbegin(); p != positions.rend(); ++p)
    delete lvFileList->takeTopLevelItem(*p);
  // Instead of asking first: Undo puts them back.
  FUndo->Remove(FConvert.Files, positions);
  if (const int rows = lvFileList->topLevelItemCount(); rows > 0)
    SelectRow(std::min(positions.front(), rows - 1));
  // The list moved the highlight while the row was still there, so its place was counted before the
  // removal: the highlighted row is the one the commands act on.
  SelectedIndex = SelectedPosition();
  emit Changed();
  emit Edited();
}

void TQueuePanel::actClearExecute() {
  if (Adding())
    return;
  SelectedIndex = -1;
  lvFileList->clear();
  std::vector<int> all(static_cast<std::size_t>(FConvert.Files.Count()));
  std::iota(all.begin(), all.end(), 0);
  FUndo->Remove(FConvert.Files, all);
  emit Changed();
  emit Edited();
}

void TQueuePanel::actUndoExecute() {
  if (!FUndo->CanUndo() || Adding())
    return;
  const std::vector<int> restored = FUndo->Undo(FConvert.Files);
  for (const int p : restored) {
    QTreeWidgetItem *row = AddRow(FConvert.Files[p]);
    lvFileList->insertTopLevelItem(p, lvFileList->takeTopLevelItem(lvFileList->indexOfTopLevelItem(row)));
  }
  ShowResults();
  if (!restored.empty())
    SelectRows(restored, restored.front());
  emit Changed();
  emit Edited();
}

void TQueuePanel::MoveSelected(int step) {
  const std::vector<int> selected = SelectedPositions();
  if (selected.empty() || Adding())
    return;
  const int current = SelectedPosition();
  const std::vector<int> moved =
      MoveSelection(selected, lvFileList->topLevelItemCount(), step, [this](int from, int to) {
        FConvert.Files.Exchange(from, to);
        lvFileList->insertTopLevelItem(to, lvFileList->takeTopLevelItem(from));
      });
  // The current row stays the current one wherever it went.
  const auto at = std::find(selected.begin(), selected.end(), current) - selected.begin();
  SelectRows(moved, moved[static_cast<std::size_t>(at)]);
  emit Edited();
}

void TQueuePanel::lvFileListSelectItem() {
  // A row losing the selection leaves SelectedIndex as it was.
  if (const int position = SelectedPosition(); position >= 0)
    SelectedIndex = position;
  emit Changed();
}

void TQueuePanel::actEditExecute() {
  const int position = SelectedPosition();
  if (position < 0)
    return;
  emit StopPreviewRequested();
  TEditForm form(FConvert, this);
  if (!form.Edit(position))
    return;
  TInputFile &file = FConvert.Files[position];
  file.AspectIndex = form.AspectIndex();
  file.AudioChoice = form.lstTracks->AudioChoice();
  file.SubtitleChoice = form.lstTracks->SubtitleChoice();
  lvFileList->topLevelItem(position)->setToolTip(colSource, SourceTip(file));
  file.TargetBytes = form.TargetSize->Bytes();
  const int64_t start = std::min(form.MarkIn, form.MarkOut);
  const int64_t length = form.MarkOut > form.MarkIn ? form.MarkOut - form.MarkIn : form.MarkIn - form.MarkOut;
  // Such a trim would convert into an empty file: the trim stays as it was, and the user is told. Marks
  // at one place give a trim of length 0, which goes from Mark In to the end.
  if (start >= file.DurationMs) {
    platform::ShowMessage("The trim was not changed: it starts after the end of the file.",
                          platform::TMsgIcon::Warning);
    return;
  }
  file.TrimStart = start;
  file.TrimDuration = length;
  lvFileList->topLevelItem(position)->setText(
      colTrimmed, QString::fromStdString(FormatSeconds(static_cast<int32_t>(OutputLengthMs(file) / 1000))));
  emit Edited();
}
