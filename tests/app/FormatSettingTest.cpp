// The format settings dialog and the Setting... command: what the dialog shows of a profile, and
// what reaches the profile and the settings file on OK and on Cancel.
#include "profiles/SettingFrm.h"

#include "MainFormFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QFile>
#include <QGridLayout>
#include <QTest>
#include <QTimer>

#include <functional>
#include <tuple>

namespace {

// Profile 1 is a video profile with a selection outside its list and a volume above the bar's
// range; profile 2 is an audio profile whose video lists are empty.
const char *Settings = "[Format]\n"
                       "Count=3\n"
                       "[Format0]\n"
                       "Name=Phone\n"
                       "[Format1]\n"
                       "Name=Video 100%\n"
                       "Category=1\n"
                       "Resolution=Keep original size,640*360,1280*720\n"
                       "ResolutionValue=2\n"
                       "Framerate=25 fps,Keep original frame rate\n"
                       "FramerateValue=1\n"
                       "VideoEncoder=H.264\n"
                       "VideoEncoderValue=0\n"
                       "VideoBitRate=1000 kbps,5000 kbps\n"
                       "VideoBitRateValue=7\n"
                       "SampleRate=44100 Hz,48000 Hz\n"
                       "SampleRateValue=1\n"
                       "AudioBitrate=128 kbps,160 kbps\n"
                       "AudioBitrateValue=0\n"
                       "AudioEncoder=AAC\n"
                       "AudioEncoderValue=0\n"
                       "Channel=1 Channel Mono, 2 Channels Stereo\n"
                       "ChannelValue=1\n"
                       "Volume=2000\n"
                       "[Format2]\n"
                       "Name=Audio\n"
                       "Category=0\n"
                       "Resolution=\n"
                       "ResolutionValue=0\n"
                       "Framerate=\n"
                       "FramerateValue=3\n"
                       "VideoEncoder=\n"
                       "VideoEncoderValue=0\n"
                       "VideoBitRate=\n"
                       "VideoBitRateValue=0\n"
                       "SampleRate=44100 Hz\n"
                       "SampleRateValue=0\n"
                       "AudioBitrate=192 kbps\n"
                       "AudioBitrateValue=0\n"
                       "AudioEncoder=MP3 Audio\n"
                       "AudioEncoderValue=0\n"
                       "Channel=2 Channels Stereo\n"
                       "ChannelValue=0\n"
                       "Volume=256\n"
                       "[Output]\n"
                       "Format=1\n";

QStringList Items(const QComboBox *combo) {
  QStringList items;
  for (int i = 0; i < combo->count(); ++i)
    items << combo->itemText(i);
  return items;
}

using SettingForm = TAppFixture;

TEST_F(SettingForm, ShowsTheProfileAsTheFileHoldsIt) {
  IniOptions.LoadFromFile(Install.Write("VideoConverter.ini", Settings));
  TSettingForm dialog;
  dialog.LoadValues(0);
  EXPECT_EQ(dialog.windowTitle(), "Phone 's Format Setting");
  EXPECT_TRUE(dialog.grpVideo->isEnabled()); // the read default of Category is 1

  dialog.LoadValues(1);
  EXPECT_EQ(dialog.FormatIndex, 1);
  EXPECT_EQ(dialog.windowTitle(), "Video 100% 's Format Setting");
  EXPECT_EQ(Items(dialog.cbbResolution), QStringList({"Keep original size", "640*360", "1280*720"}));
  EXPECT_EQ(dialog.cbbResolution->currentIndex(), 2);
  EXPECT_EQ(dialog.cbbFrameRate->currentText(), "Keep original frame rate");
  EXPECT_EQ(dialog.cbbVideoBitRate->currentIndex(), -1); // 7 is outside the list
  EXPECT_EQ(dialog.cbbVideoBitRate->count(), 2);
  EXPECT_EQ(Items(dialog.cbbChannel), QStringList({"1 Channel Mono", " 2 Channels Stereo"}));
  EXPECT_EQ(dialog.cbbChannel->currentIndex(), 1);
  EXPECT_EQ(dialog.cbbSampleRate->currentText(), "48000 Hz");
  EXPECT_EQ(dialog.tbarVolume->value(), 1280);
  EXPECT_EQ(dialog.lblVolume->text(), "Volume:500%");

  // Refilling empties every control first; the audio profile's video group is disabled and empty.
  dialog.LoadValues(2);
  EXPECT_FALSE(dialog.grpVideo->isEnabled());
  for (const QComboBox *video :
       {dialog.cbbResolution, dialog.cbbFrameRate, dialog.cbbVideoEncoder, dialog.cbbVideoBitRate}) {
    EXPECT_EQ(video->count(), 0) << video->objectName().toStdString();
    EXPECT_EQ(video->currentIndex(), -1);
  }
  EXPECT_EQ(Items(dialog.cbbAudioEncoder), QStringList({"MP3 Audio"}));
  EXPECT_EQ(dialog.lblVolume->text(), "Volume:100%");
  dialog.tbarVolume->setValue(100);
  EXPECT_EQ(dialog.lblVolume->text(), "Volume:39%");
  dialog.tbarVolume->setValue(0);
  EXPECT_EQ(dialog.lblVolume->text(), "Volume:0%");
}

TEST_F(SettingForm, UnderTheSkinNoChoiceIsCutAndNoCaptionOverlapsItsList) {
  QFile skin(QString::fromStdString(BinDir() + "Skins/Sapphire.qss"));
  ASSERT_TRUE(skin.open(QIODevice::ReadOnly));
  qApp->setStyleSheet(QString::fromUtf8(skin.readAll()));
  IniOptions.LoadFromFile(Install.Write("VideoConverter.ini", Settings));
  TSettingForm dialog;
  dialog.LoadValues(1);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_GE(dialog.width(), 492);
  for (QComboBox *combo : dialog.findChildren<QComboBox *>()) {
    SCOPED_TRACE(combo->objectName().toStdString());
    EXPECT_GE(combo->width(), combo->sizeHint().width());
    EXPECT_LE(combo->geometry().right(), combo->parentWidget()->contentsRect().right()) << "inside its group";
    const auto *caption = qobject_cast<QGridLayout *>(combo->parentWidget()->layout());
    ASSERT_NE(caption, nullptr);
    int row = 0, column = 0, rows = 0, columns = 0;
    caption->getItemPosition(caption->indexOf(combo), &row, &column, &rows, &columns);
    const QWidget *label = caption->itemAtPosition(row, 0)->widget();
    EXPECT_LE(label->geometry().right(), combo->geometry().left());
    EXPECT_GE(label->width(), label->sizeHint().width());
  }
}

TEST_F(SettingForm, OkStoresTheSelectionsAndCancelNothing) {
  IniOptions.LoadFromFile(Install.Write("VideoConverter.ini", Settings));
  const TFormatRec before = IniOptions.GetFormat(1);
  TSettingForm dialog;
  dialog.LoadValues(1);
  dialog.show();
  dialog.cbbResolution->setCurrentIndex(0);
  dialog.cbbAudioBitrate->setCurrentIndex(1);
  dialog.tbarVolume->setValue(512);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(IniOptions.GetFormat(1), before);

  dialog.LoadValues(1);
  dialog.show();
  dialog.cbbResolution->setCurrentIndex(0);
  dialog.cbbAudioBitrate->setCurrentIndex(1);
  dialog.tbarVolume->setValue(512);
  QTest::keyClick(&dialog, Qt::Key_Return); // OK is the default button
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  TFormatRec expected = before;
  expected.ResolutionValue = 0;
  expected.AudioBitrateValue = 1;
  expected.VideoBitRateValue = -1; // nothing was selected
  expected.Volume = 512;
  EXPECT_EQ(IniOptions.GetFormat(1), expected);

  // The disabled video group of an audio profile keeps its selections as they were.
  dialog.LoadValues(2);
  QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
  TFormatRec audio = IniOptions.GetFormat(2);
  EXPECT_EQ(audio.ResolutionValue, -1); // its list is empty
  EXPECT_EQ(audio.FramerateValue, -1);
}

// A chosen quality greys the bit rate out; the first item hands it back. Without a list the quality
// control is empty and off, and the profile keeps no choice.
TEST_F(SettingForm, AQualityChoiceGreysTheBitRate) {
  IniOptions.LoadFromFile(Install.Write("VideoConverter.ini", Settings));
  TFormatRec r = IniOptions.GetFormat(1);
  {
    TSettingForm dialog;
    dialog.LoadValues(1);
    EXPECT_FALSE(dialog.cbbQuality->isEnabled());
    EXPECT_TRUE(dialog.cbbVideoBitRate->isEnabled());
  }
  r.Quality = "High,Standard,Small";
  r.QualityValue = 1;
  IniOptions.SetFormat(1, r);
  TSettingForm dialog;
  dialog.LoadValues(1);
  EXPECT_EQ(Items(dialog.cbbQuality), QStringList({"Bit Rate", "High", "Standard", "Small"}));
  EXPECT_EQ(dialog.cbbQuality->currentText(), "Standard");
  EXPECT_FALSE(dialog.cbbVideoBitRate->isEnabled());
  dialog.cbbQuality->setCurrentIndex(0);
  EXPECT_TRUE(dialog.cbbVideoBitRate->isEnabled());
  dialog.cbbQuality->setCurrentIndex(3);
  dialog.SaveValues();
  EXPECT_EQ(IniOptions.GetFormat(1).QualityValue, 2);
  EXPECT_FALSE(dialog.cbbVideoBitRate->isEnabled());
  // "Normalize loudness": -16 LUFS when checked, a target the file names is kept, unchecked is off.
  EXPECT_FALSE(dialog.chkLoudness->isChecked());
  for (const auto &[checked, before, after] : {std::tuple{true, "", "-16"}, {true, "-23", "-23"}, {false, "-23", ""}}) {
    r = IniOptions.GetFormat(1);
    r.Loudness = before;
    IniOptions.SetFormat(1, r);
    dialog.LoadValues(1);
    EXPECT_EQ(dialog.chkLoudness->isChecked(), !std::string(before).empty());
    dialog.chkLoudness->setChecked(checked);
    dialog.SaveValues();
    EXPECT_EQ(IniOptions.GetFormat(1).Loudness, after);
  }
}

class FormatSettingCommand : public TMainFormFixture {
protected:
  std::string File() const { return Install.Read("VideoConverter.ini"); }

  // Runs Setting... for the selected profile; answer works the dialog once it is shown.
  void RunCommand(const std::function<void(TSettingForm &)> &answer) {
    bool answered = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto *dialog = Form->findChild<TSettingForm *>();
      if (answered || !dialog || !dialog->isVisible())
        return;
      answered = true;
      answer(*dialog);
    });
    poll.start(0);
    Form->Output->actFormatSetting->trigger();
    EXPECT_TRUE(answered);
  }
};

TEST_F(FormatSettingCommand, OkWritesTheNineValuesAndCancelLeavesTheFile) {
  WriteSettings(Settings);
  auto &form = Start();
  ASSERT_EQ(form.Output->cbbFormatEx->currentIndex(), 1);
  const std::string original = File();

  RunCommand([](TSettingForm &dialog) {
    dialog.cbbFrameRate->setCurrentIndex(0);
    QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
  });
  EXPECT_EQ(File(), original);
  EXPECT_EQ(IniOptions.GetFormat(1).FramerateValue, 1);

  // Untouched, only what the dialog cannot show changes: the volume above the bar, the selection
  // outside its list.
  RunCommand([](TSettingForm &dialog) { QTest::mouseClick(dialog.btnOK, Qt::LeftButton); });
  std::string expected = original;
  expected.replace(expected.find("Volume=2000"), 11, "Volume=1280");
  expected.replace(expected.find("VideoBitRateValue=7"), 19, "VideoBitRateValue=-1");
  EXPECT_EQ(File(), expected);

  // The audio profile: its empty resolution list saves -1, nothing else of the file moves.
  form.Output->cbbFormatEx->setCurrentIndex(2);
  RunCommand([](TSettingForm &dialog) {
    dialog.tbarVolume->setValue(300);
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
  });
  const std::string audio = expected.substr(expected.find("[Format2]"));
  std::string audioExpected = audio;
  for (const char *key :
       {"ResolutionValue=0", "FramerateValue=3", "VideoEncoderValue=0", "VideoBitRateValue=0"})
    audioExpected.replace(audioExpected.find(key), std::string(key).size(),
                          std::string(key).substr(0, std::string(key).find('=') + 1) + "-1");
  audioExpected.replace(audioExpected.find("Volume=256"), 10, "Volume=300");
  EXPECT_EQ(File(), expected.substr(0, expected.find("[Format2]")) + audioExpected);
  EXPECT_TRUE(Dialogs->Messages().empty());
}

TEST_F(FormatSettingCommand, SaysWhenTheValuesCannotBeSavedOrThereIsNoProfile) {
  WriteSettings(Settings);
  Start();
  // A folder in place of the file: the new values cannot be written.
  std::filesystem::remove(Install.Path() / "VideoConverter.ini");
  std::filesystem::create_directory(Install.Path() / "VideoConverter.ini");
  RunCommand([](TSettingForm &dialog) {
    dialog.cbbResolution->setCurrentIndex(1);
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
  });
  EXPECT_EQ(IniOptions.GetFormat(1).ResolutionValue, 1);
  ASSERT_EQ(MessageTexts().size(), 1u);
  EXPECT_EQ(MessageTexts()[0],
            "The format settings could not be saved to \"" + Install.Folder() + "VideoConverter.ini\".");
  Form.reset();
  std::filesystem::remove(Install.Path() / "VideoConverter.ini");

  // Without a settings file there are no profiles, and nothing to edit.
  IniOptions = TIniOptions{};
  Start();
  EXPECT_EQ(Form->Output->cbbFormatEx->count(), 0);
  Form->Output->actFormatSetting->trigger();
  EXPECT_EQ(Form->findChild<TSettingForm *>(), nullptr);
  // The close before told that the settings could not be saved either.
  ASSERT_EQ(MessageTexts().size(), 3u);
  EXPECT_NE(MessageTexts()[1].find("could not be saved"), std::string::npos);
  EXPECT_EQ(MessageTexts()[2], "There is no output profile to edit.");
}

} // namespace
