#include "app/OutputBar.h"

#include "app/PanelKit.h"
#include "convert/SizeTarget.h"
#include "platform/DataFolders.h"
#include "platform/Dialogs.h"
#include "profiles/SettingFrm.h"
#include "profiles/tvlIniUnt.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include <filesystem>

using panels::NewAction;
using panels::NewButton;
using panels::NewLabel;

namespace {

// A drop-down list named for the tests and screen readers, with its caption's key reaching it.
QComboBox *NewList(QLabel *caption, const char *name, const char *hint, const char *accessibleName) {
  auto *list = new QComboBox(caption->parentWidget());
  list->setObjectName(name);
  list->setToolTip(hint);
  list->setAccessibleName(accessibleName);
  caption->setBuddy(list);
  return list;
}

} // namespace

TOutputBar::TOutputBar(const std::string &settingsFile, QWidget *parent)
    : QWidget(parent), FSettingsFile(settingsFile) {
  setObjectName("pnlOutput");
  actConvert = NewAction(this, "actConvert", "Convert", "Click to Start Convert");
  actOpenFolder = NewAction(this, "actOpenFolder", "Open...", "Browser Output Folder");
  actFormatSetting = NewAction(this, "actFormatSetting", "Setting...", "");
  panels::SetShortcuts(actConvert, {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter});
  connect(actOpenFolder, &QAction::triggered, this, &TOutputBar::actOpenFolderExecute);
  connect(actFormatSetting, &QAction::triggered, this, &TOutputBar::actFormatSettingExecute);
  CreateControls();
}

void TOutputBar::CreateControls() {
  lblFormat = NewLabel(this, "lblFormat", "Output Format:");
  cbbFormatEx = NewList(lblFormat, "cbbFormatEx", "Select Output Format", "Output Format");
  // Only the user's choice is a change: filling and clearing the list must not touch the setting.
  connect(cbbFormatEx, &QComboBox::activated, this, &TOutputBar::cbbFormatExChange);
  CreateFolderEdit();
  CreateRunChoices();
  cbbFormatEx->setMinimumSize(372, 30);
  // The folder and, beside it, what the queue will take of its free space share the list's width.
  lblSizes = NewLabel(this, "lblSizes", "");
  lblSizes->setMinimumWidth(150);
  edtOutputFolder->setMinimumSize(372 - 150 - 6, 30);

  btnSetting = NewButton(this, "btnSetting", actFormatSetting, QSize(100, 30), Qt::ToolButtonTextOnly);
  btnOpenFolder = NewButton(this, "btnOpenFolder", actOpenFolder, QSize(100, 30), Qt::ToolButtonTextOnly);
  btnConvert = NewButton(this, "btnConvert", actConvert, QSize(122, 70), Qt::ToolButtonTextUnderIcon);
  btnConvert->setIconSize(QSize(40, 40));

  // The fields take what the bar gains; Convert stays at the right end.
  auto *layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setHorizontalSpacing(6);
  layout->setVerticalSpacing(10);
  layout->addWidget(lblFormat, 0, 0);
  layout->addWidget(cbbFormatEx, 0, 1);
  layout->addWidget(btnSetting, 0, 2);
  layout->addWidget(lblOutputFolder, 1, 0);
  auto *folderRow = new QHBoxLayout;
  folderRow->setSpacing(6);
  folderRow->addWidget(edtOutputFolder, 1);
  folderRow->addWidget(lblSizes);
  layout->addLayout(folderRow, 1, 1);
  layout->addWidget(btnOpenFolder, 1, 2);
  // The count's caption stands at the end of the field column, beside its list under the buttons.
  auto *runChoices = new QHBoxLayout;
  runChoices->addWidget(chkCopyStreams);
  runChoices->addStretch(1);
  runChoices->addWidget(lblSimultaneous);
  layout->addLayout(runChoices, 2, 1);
  layout->addWidget(cbbSimultaneous, 2, 2);
  layout->addWidget(btnConvert, 0, 3, 3, 1, Qt::AlignBottom);
  layout->setColumnStretch(1, 1);
  layout->setColumnMinimumWidth(0, 98);
}

void TOutputBar::CreateFolderEdit() {
  lblOutputFolder = NewLabel(this, "lblOutputFolder", "Output Folder:");
  edtOutputFolder = new QLineEdit(this);
  edtOutputFolder->setObjectName("edtOutputFolder");
  edtOutputFolder->setToolTip("Select output folder to save media...");
  edtOutputFolder->setAccessibleName("Output Folder");
  lblOutputFolder->setBuddy(edtOutputFolder);
  // The folder dialog is the only way to change the folder. No length limit: unlike the typing limit
  // it stands for, QLineEdit would cut a longer folder chosen in the dialog.
  edtOutputFolder->setReadOnly(true);
  actBrowseOutputFolder =
      edtOutputFolder->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon), QLineEdit::TrailingPosition);
  actBrowseOutputFolder->setObjectName("actBrowseOutputFolder");
  actBrowseOutputFolder->setToolTip("Select output folder to save media...");
  connect(actBrowseOutputFolder, &QAction::triggered, this, &TOutputBar::edtOutputFolderButtonClick);
}

void TOutputBar::CreateRunChoices() {
  chkCopyStreams = new QCheckBox("Copy streams that already fit", this);
  chkCopyStreams->setObjectName("chkCopyStreams");
  chkCopyStreams->setToolTip("Streams that already match the profile are copied, not converted again");
  connect(chkCopyStreams, &QCheckBox::toggled, this, [](bool on) { IniOptions.CopyStreams = on; });
  lblSimultaneous = NewLabel(this, "lblSimultaneous", "Simultaneous conversions:");
  cbbSimultaneous = NewList(lblSimultaneous, "cbbSimultaneous",
                            "How many files convert at once; Automatic follows the processor and the files",
                            "Simultaneous conversions");
  // The settings keep the text: empty is automatic.
  cbbSimultaneous->addItem("Automatic", QString());
  for (const char *count : {"1", "2", "4", "8", "16"})
    cbbSimultaneous->addItem(count, QString(count));
  connect(cbbSimultaneous, &QComboBox::activated, this,
          [this] { IniOptions.Simultaneous = cbbSimultaneous->currentData().toString().toStdString(); });
}

void TOutputBar::ShowRunChoices() {
  chkCopyStreams->setChecked(IniOptions.CopyStreams);
  const QString chosen = QString::fromStdString(IniOptions.Simultaneous);
  // A count typed into the file that the list lacks is shown as it is, so saving keeps it.
  if (cbbSimultaneous->findData(chosen) < 0)
    cbbSimultaneous->addItem(chosen, chosen);
  cbbSimultaneous->setCurrentIndex(cbbSimultaneous->findData(chosen));
}

void TOutputBar::LoadPictures() {
  actConvert->setIcon(panels::LoadIcon("VideoRes/Convert.png"));
}

void TOutputBar::FillProfiles(const QList<QIcon> &images) {
  cbbFormatEx->clear();
  const auto group = [](int category) { return category == 1 ? 0 : category == 0 ? 1 : 2; };
  for (int rank = 0; rank < 3; ++rank)
    for (int p = 0; p < static_cast<int>(IniOptions.Formats.size()); ++p) {
      const auto &profile = IniOptions.Formats[static_cast<std::size_t>(p)];
      if (group(profile.Category) != rank)
        continue;
      const bool hasImage = profile.Category >= 0 && profile.Category < images.size();
      cbbFormatEx->addItem(hasImage ? images[profile.Category] : QIcon(), QString::fromStdString(profile.Name), p);
    }
  SelectProfile(IniOptions.OutputFormat);
}

int TOutputBar::Profile() const {
  return cbbFormatEx->currentIndex() < 0 ? -1 : cbbFormatEx->currentData().toInt();
}

void TOutputBar::SelectProfile(int profile) {
  cbbFormatEx->setCurrentIndex(cbbFormatEx->findData(profile));
}

void TOutputBar::ChooseOutputFolder() {
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

void TOutputBar::cbbFormatExChange() {
  IniOptions.OutputFormat = Profile();
  emit SizesMayChange();
}

int64_t TOutputBar::FreeBytes() const {
  if (FreeSpace)
    return FreeSpace();
  std::error_code ec;
  const auto space = std::filesystem::space(edtOutputFolder->text().toStdString(), ec);
  return ec ? -1 : static_cast<int64_t>(space.available);
}

void TOutputBar::ShowSizes(int64_t total) {
  const int64_t free = FreeBytes();
  const QString need = QString::fromStdString(MegabytesText(total));
  const QString room = free < 0 ? QString("?") : QString::fromStdString(MegabytesText(free));
  lblSizes->setText(total > 0 ? need + " / " + room + " free" : room + " free");
  lblSizes->setToolTip("The queue's estimated output: " + need + "; free in the output folder: " + room);
}

void TOutputBar::actFormatSettingExecute() {
  const int index = Profile();
  // No settings file, or a selection the file does not hold.
  if (index < 0) {
    platform::ShowMessage("There is no output profile to edit.", platform::TMsgIcon::Warning);
    return;
  }
  TSettingForm dialog(this);
  if (dialog.Execute(index) != QDialog::Accepted)
    return;
  // The profile in memory has changed either way; the user must know when it will not survive.
  emit SizesMayChange();
  if (!IniOptions.SaveFormatValues(FSettingsFile, index))
    platform::ShowMessage("The format settings could not be saved to \"" + FSettingsFile + "\".",
                          platform::TMsgIcon::Warning);
}

void TOutputBar::actOpenFolderExecute() {
  panels::OpenOrSay(edtOutputFolder->text().toStdString());
}

void TOutputBar::edtOutputFolderButtonClick() {
  const std::string folder =
      platform::Dialogs().SelectFolder("Select output folder", edtOutputFolder->text().toStdString());
  if (folder.empty())
    return;
  edtOutputFolder->setText(QString::fromStdString(folder));
  IniOptions.OutputFolder = folder;
  emit SizesMayChange();
}
