#pragma once
// The main window in a temporary installation, on the system's media libraries, with the generated
// test media at hand.
#include "AppFixture.h"
#include "app/OutputBar.h"
#include "app/PreviewPanel.h"
#include "app/QueuePanel.h"
#include "app/TvlMainFrm.h"
#include "convert/ConvertUnt.h"

#include <QAction>
#include <QStringList>
#include <QTest>
#include <QTreeWidget>

#include <memory>

inline std::string Media(const std::string &name) {
  return std::string(TVL_TEST_MEDIA_DIR) + name;
}

// A video profile the system's encoders convert quickly, and one whose audio bitrate item is no number.
inline std::string Profiles(const std::string &outputFolder) {
  std::string common = "Ext=.mpg\nCategory=1\nResolution=160*120\nFramerate=25 fps\nFrameAspectRatio=4:3\n"
                       "VideoEncoder=MPEG-1 Video\nVideoBitRate=200 kbps\nSampleRate=22050 Hz,44100 Hz\n"
                       "AudioEncoder=MPEG-2 Audio\nChannel=1 Channel Mono\nVolume=256\n";
  for (const char *setting : {"Resolution", "Framerate", "VideoEncoder", "VideoBitRate", "SampleRate",
                              "AudioBitrate", "AudioEncoder", "Channel"})
    common += std::string(setting) + "Value=0\n";
  return "[Format]\nCount=2\n"
         "[Format0]\nName=MPEG-1 Small\n" +
         common +
         "AudioBitrate=64 kbps\n"
         "[Format1]\nName=Broken Bitrate\n" +
         common +
         "AudioBitrate=256kbps\n"
         "[Output]\nFormat=0\nFolder=" +
         outputFolder + "\n";
}

class TMainFormFixture : public TAppFixture {
protected:
  // The window writes its settings into the installation when it goes.
  void TearDown() override {
    Form.reset();
    TAppFixture::TearDown();
  }
  TTvlMainForm &Start() {
    Form = std::make_unique<TTvlMainForm>();
    EXPECT_TRUE(Form->LibrariesLoaded());
    return *Form;
  }
  void WriteSettings(const std::string &text) const { Install.Write("VideoConverter.ini", text); }

  // A copy of a test file under the temporary folder.
  std::string Copy(const std::string &media, const std::string &as) const {
    const std::filesystem::path target = Install.Path() / as;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(Media(media), target, std::filesystem::copy_options::overwrite_existing);
    return target.string();
  }

  void AddFiles(std::vector<std::string> paths) {
    Dialogs->QueueFiles(std::move(paths));
    Form->Queue->actAddFile->trigger();
    WaitAdded();
  }
  void AddFolder(const std::string &folder) {
    Dialogs->QueueFolder(folder);
    Form->Queue->actAddFolder->trigger();
    WaitAdded();
  }
  // Files are probed in the background: waits, within bounds, until the last request has ended.
  void WaitAdded() const { ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->Queue->Adding(); }, 60000)); }

  // The texts of one column, row by row.
  QStringList Column(int column) const {
    QStringList texts;
    for (int p = 0; p < Form->Queue->lvFileList->topLevelItemCount(); ++p)
      texts << Form->Queue->lvFileList->topLevelItem(p)->text(column);
    return texts;
  }
  // The file names of the queue's records, in queue order.
  QStringList Records() const {
    QStringList names;
    for (int p = 0; p < Form->TvlConvert->Files.Count(); ++p) {
      const std::string &path = Form->TvlConvert->Files[p].FileName;
      names << QString::fromStdString(path.substr(path.rfind('/') + 1));
    }
    return names;
  }
  int SelectedRow() const {
    const auto selected = Form->Queue->lvFileList->selectedItems();
    return selected.isEmpty() ? -1 : Form->Queue->lvFileList->indexOfTopLevelItem(selected.first());
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto &m : Dialogs->Messages())
      texts.push_back(m.Text);
    return texts;
  }

  std::unique_ptr<TTvlMainForm> Form;
};
