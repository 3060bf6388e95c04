#pragma once
// The output bar of the main window: the profile list, the output folder, the profile's settings, the
// run's choices (copying what fits, simultaneous conversions) and the Convert button.
#include <QIcon>
#include <QList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

class TOutputBar : public QWidget {
  Q_OBJECT
public:
  // settingsFile: where Setting... saves the edited profile.
  TOutputBar(const std::string &settingsFile, QWidget *parent);

  // The profiles of the settings, each with the image of its category (0 audio, 1 video): the video
  // ones first, then the audio ones, then any other, each group in the file's order.
  void FillProfiles(const QList<QIcon> &images);
  // The number in the settings of the profile chosen in the list; -1 without a choice.
  int Profile() const;
  // Chooses the profile of that number; none when the list lacks it.
  void SelectProfile(int profile);
  // The folder of the settings, or the default one, which is created.
  void ChooseOutputFolder();
  // The run's choices as the settings hold them.
  void ShowRunChoices();
  void LoadPictures();
  // Shows the queue's estimated total beside the folder, with the folder's free space.
  void ShowSizes(int64_t total);
  // The output folder's free bytes; -1 when unknown. FreeSpace, when set, answers instead.
  int64_t FreeBytes() const;
  std::function<int64_t()> FreeSpace;

  // Controls. Their objectName is their field name.
  QLabel *lblFormat = nullptr, *lblOutputFolder = nullptr, *lblSimultaneous = nullptr, *lblSizes = nullptr;
  QComboBox *cbbFormatEx = nullptr, *cbbSimultaneous = nullptr;
  QCheckBox *chkCopyStreams = nullptr;
  QLineEdit *edtOutputFolder = nullptr;
  QToolButton *btnSetting = nullptr, *btnOpenFolder = nullptr, *btnConvert = nullptr;

  // The window runs Convert: it needs the queue and the preview.
  QAction *actConvert = nullptr, *actOpenFolder = nullptr, *actFormatSetting = nullptr;
  // The folder button of the output folder edit.
  QAction *actBrowseOutputFolder = nullptr;

signals:
  // The profile, its settings or the folder changed: the estimates and the free space may differ.
  void SizesMayChange();

private:
  void CreateControls();
  void CreateFolderEdit();
  void CreateRunChoices();
  void cbbFormatExChange();
  // Setting...: edits the selected profile's choices and saves them at once.
  void actFormatSettingExecute();
  void actOpenFolderExecute();
  void edtOutputFolderButtonClick();

  const std::string &FSettingsFile;
};
