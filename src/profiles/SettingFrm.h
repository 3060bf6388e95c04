#pragma once
// The format settings dialog: which item of each of a profile's eight choice lists is used, and the
// profile's volume. The lists themselves come only from the settings file.
#include <QDialog>

#include <cstdint>

#include "profiles/tvlIniUnt.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

class TSettingForm : public QDialog {
  Q_OBJECT
public:
  // The dialog reads and changes the profiles of the given store.
  explicit TSettingForm(QWidget *parent = nullptr, TIniOptions &options = IniOptions);

  // Fills the dialog with the profile at the index and shows it modally. QDialog::Accepted when the
  // user confirmed with OK; the profile in the store has then been changed.
  int Execute(int index);
  // The filling part of Execute.
  void LoadValues(int index);
  // OK: the controls' selections and the volume into the profile, then close.
  void SaveValues();

  // The profile being edited.
  int32_t FormatIndex = -1;

  // Controls. Their objectName is their field name.
  QGroupBox *grpVideo = nullptr, *grpAudio = nullptr;
  QComboBox *cbbResolution = nullptr, *cbbFrameRate = nullptr, *cbbVideoEncoder = nullptr,
            *cbbVideoBitRate = nullptr;
  // The profile's quality list after a first item that keeps the bit rate in charge; empty and
  // disabled for profiles without one.
  QComboBox *cbbQuality = nullptr;
  QComboBox *cbbSampleRate = nullptr, *cbbChannel = nullptr, *cbbAudioEncoder = nullptr,
            *cbbAudioBitrate = nullptr;
  QLabel *lblVolume = nullptr;
  QSlider *tbarVolume = nullptr;
  // Checked: the sound is normalised to the profile's loudness target, -16 LUFS unless it names one.
  QCheckBox *chkLoudness = nullptr;
  QPushButton *btnOK = nullptr, *btnCancel = nullptr;

private:
  void LayOut();
  void tbarVolumeChange(int position);
  void LoadQuality(const TFormatRec &r);
  void cbbQualityChange();

  TIniOptions &FOptions;
};
