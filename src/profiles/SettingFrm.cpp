#include "profiles/SettingFrm.h"

#include "platform/qt/QtWindowSize.h"


#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// One choice list of a profile: its control, its list text and its selection field.
struct TChoice {
  QComboBox *TSettingForm::*Control;
  std::string TFormatRec::*List;
  int32_t TFormatRec::*Value;
};

constexpr TChoice VideoChoices[] = {
    {&TSettingForm::cbbResolution, &TFormatRec::Resolution, &TFormatRec::ResolutionValue},
    {&TSettingForm::cbbFrameRate, &TFormatRec::Framerate, &TFormatRec::FramerateValue},
    {&TSettingForm::cbbVideoEncoder, &TFormatRec::VideoEncoder, &TFormatRec::VideoEncoderValue},
    {&TSettingForm::cbbVideoBitRate, &TFormatRec::VideoBitRate, &TFormatRec::VideoBitRateValue},
};
constexpr TChoice AudioChoices[] = {
    {&TSettingForm::cbbSampleRate, &TFormatRec::SampleRate, &TFormatRec::SampleRateValue},
    {&TSettingForm::cbbChannel, &TFormatRec::Channel, &TFormatRec::ChannelValue},
    {&TSettingForm::cbbAudioEncoder, &TFormatRec::AudioEncoder, &TFormatRec::AudioEncoderValue},
    {&TSettingForm::cbbAudioBitrate, &TFormatRec::AudioBitrate, &TFormatRec::AudioBitrateValue},
};

constexpr int MaxVolume = 1280;
constexpr int MinChoiceWidth = 136;
// The dialog's size when it was placed by coordinates: its smallest now.
constexpr QSize SmallestSize(492, 294);
// Engine volume of the unchanged level: the label shows the position as a percentage of it.
constexpr int UnchangedVolume = 256;
// The loudness of streaming services and podcasts.
constexpr const char *DefaultLoudness = "-16";

// The rows of a group: a caption and a drop-down list each, one below the other. The list is as wide
// as its longest item ("Keep original size", "2 Channels Stereo"), the caption as its text.
QComboBox *AddRow(QGroupBox *group, int row, const char *caption, const char *name) {
  auto *grid = static_cast<QGridLayout *>(group->layout());
  auto *label = new QLabel(caption, group);
  auto *combo = new QComboBox(group);
  combo->setObjectName(name);
  combo->setMinimumWidth(MinChoiceWidth);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  label->setBuddy(combo);
  grid->addWidget(label, row, 0);
  grid->addWidget(combo, row, 1);
  return combo;
}

QGroupBox *NewGroup(QWidget *parent, const char *name, const char *caption) {
  auto *group = new QGroupBox(caption, parent);
  group->setObjectName(name);
  auto *grid = new QGridLayout(group);
  grid->setVerticalSpacing(12);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(7, 1);
  return group;
}

// Empties the control and fills it with the list's items; the selection is the value, or none when
// the value is outside the items.
void FillChoice(QComboBox *control, const std::string &list, int32_t value) {
  control->clear();
  std::vector<std::string> items;
  if (!TIniOptions::SplitList(list, items))
    return;
  for (const std::string &item : items)
    control->addItem(QString::fromStdString(item));
  // The open list shows long items such as "Keep original frame rate" whole.
  control->view()->setMinimumWidth(control->view()->sizeHintForColumn(0) + 8);
  control->setCurrentIndex(value >= 0 && value < control->count() ? value : -1);
  // Closed, the list shows its longest item whole too.
  control->setMinimumWidth(std::max(MinChoiceWidth, control->sizeHint().width()));
}

} // namespace

TSettingForm::TSettingForm(QWidget *parent, TIniOptions &options)
    : QDialog(parent), FOptions(options) {
  setObjectName("SettingForm");

  grpVideo = NewGroup(this, "grpVideo", "Video Setting");
  cbbResolution = AddRow(grpVideo, 0, "Resolution:", "cbbResolution");
  cbbFrameRate = AddRow(grpVideo, 1, "Frame Rate:", "cbbFrameRate");
  cbbVideoEncoder = AddRow(grpVideo, 2, "Encoder:", "cbbVideoEncoder");
  cbbVideoBitRate = AddRow(grpVideo, 3, "Bit Rate:", "cbbVideoBitRate");
  cbbQuality = AddRow(grpVideo, 4, "Quality:", "cbbQuality");
  connect(cbbQuality, &QComboBox::currentIndexChanged, this, &TSettingForm::cbbQualityChange);

  grpAudio = NewGroup(this, "grpAudio", "Audio Setting");
  cbbSampleRate = AddRow(grpAudio, 0, "Sample Rate:", "cbbSampleRate");
  cbbChannel = AddRow(grpAudio, 1, "Channel:", "cbbChannel");
  cbbAudioEncoder = AddRow(grpAudio, 2, "Encoder:", "cbbAudioEncoder");
  cbbAudioBitrate = AddRow(grpAudio, 3, "Bit Rate:", "cbbAudioBitrate");
  lblVolume = new QLabel(grpAudio);
  lblVolume->setObjectName("lblVolume");
  tbarVolume = new QSlider(Qt::Horizontal, grpAudio);
  tbarVolume->setObjectName("tbarVolume");
  tbarVolume->setRange(0, MaxVolume);
  tbarVolume->setTickInterval(500);
  tbarVolume->setTickPosition(QSlider::TicksBelow);
  connect(tbarVolume, &QSlider::valueChanged, this, &TSettingForm::tbarVolumeChange);
  chkLoudness = new QCheckBox("Normalize loudness", grpAudio);
  chkLoudness->setObjectName("chkLoudness");

  btnOK = new QPushButton("&OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TSettingForm::SaveValues);
  // Esc closes the dialog the same way.
  btnCancel = new QPushButton("&Cancel", this);
  btnCancel->setObjectName("btnCancel");
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  LayOut();
}

// The groups side by side share what the dialog gains; OK and Cancel stay at the bottom right. The
// size of the dialog's first, fixed form is the smallest.
void TSettingForm::LayOut() {
  auto *audio = static_cast<QGridLayout *>(grpAudio->layout());
  audio->addWidget(lblVolume, 4, 0, 1, 2);
  audio->addWidget(tbarVolume, 5, 0, 1, 2);
  audio->addWidget(chkLoudness, 6, 0, 1, 2);
  auto *groups = new QHBoxLayout;
  groups->addWidget(grpVideo, 1);
  groups->addWidget(grpAudio, 1);
  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton *button : {btnOK, btnCancel}) {
    button->setMinimumSize(80, 28);
    buttons->addWidget(button);
  }
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addLayout(groups, 1);
  layout->addLayout(buttons);
  platform::FitWindowSize(*this, SmallestSize);
}

int TSettingForm::Execute(int index) {
  LoadValues(index);
  return exec();
}

void TSettingForm::LoadValues(int index) {
  // The lists measure their items in the skin's look.
  ensurePolished();
  FormatIndex = index;
  const TFormatRec r = FOptions.GetFormat(index);
  // Built by hand: a name may hold "%".
  setWindowTitle(QString::fromStdString(r.Name) + " 's Format Setting");
  for (const TChoice &choice : VideoChoices)
    FillChoice(this->*choice.Control, r.*choice.List, r.*choice.Value);
  // Only video profiles apply their video settings; the others keep them, untouchable.
  grpVideo->setEnabled(r.Category == 1);
  LoadQuality(r);
  for (const TChoice &choice : AudioChoices)
    FillChoice(this->*choice.Control, r.*choice.List, r.*choice.Value);
  tbarVolume->setValue(r.Volume);
  tbarVolumeChange(tbarVolume->value());
  chkLoudness->setChecked(!r.Loudness.empty());
}

void TSettingForm::SaveValues() {
  TFormatRec r = FOptions.GetFormat(FormatIndex);
  for (const TChoice &choice : VideoChoices)
    r.*choice.Value = (this->*choice.Control)->currentIndex();
  for (const TChoice &choice : AudioChoices)
    r.*choice.Value = (this->*choice.Control)->currentIndex();
  r.Volume = tbarVolume->value();
  if (!chkLoudness->isChecked())
    r.Loudness.clear();
  else if (r.Loudness.empty())
    r.Loudness = DefaultLoudness;
  if (!r.Quality.empty())
    r.QualityValue = cbbQuality->currentIndex() - 1;
  FOptions.SetFormat(FormatIndex, r);
  accept();
}

void TSettingForm::tbarVolumeChange(int position) {
  lblVolume->setText(QString("Volume:%1%").arg(position * 100 / UnchangedVolume));
}

void TSettingForm::LoadQuality(const TFormatRec &r) {
  cbbQuality->clear();
  cbbQuality->setEnabled(!r.Quality.empty());
  if (!r.Quality.empty()) {
    FillChoice(cbbQuality, r.Quality, r.QualityValue);
    cbbQuality->insertItem(0, "Bit Rate");
    cbbQuality->setCurrentIndex(r.QualityValue >= 0 && r.QualityValue < cbbQuality->count() - 1 ? r.QualityValue + 1 : 0);
  }
  cbbQualityChange();
}

void TSettingForm::cbbQualityChange() {
  // A chosen quality decides the bit rate itself.
  cbbVideoBitRate->setEnabled(cbbQuality->currentIndex() <= 0);
}
