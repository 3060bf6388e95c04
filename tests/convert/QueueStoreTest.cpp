#include <filesystem>
#include <fstream>

#include "ConvertFixture.h"
#include "convert/QueueKeeper.h"

namespace fs = std::filesystem;

namespace {

std::unique_ptr<TInputFile> Record(const std::string &path) {
  auto file = std::make_unique<TInputFile>();
  file->FileName = file->InputOptions.FileName = path;
  file->FileType = "mp4";
  file->FileSize = int64_t{5} << 32; // beyond 32 bits
  file->Duration = 3;
  file->DurationMs = file->TrimDuration = 3250;
  file->HasVideo = true;
  return file;
}

} // namespace

TEST(QueueStoreTest, EveryFieldAndAnyNameComesBackInOrder) {
  TTempFolder temp;
  const std::vector<std::string> names{"plain.mp4", "two\nlines \"quoted\" \\x41.mp4", " Ünïcode 日本 .mkv",
                                       "\"whole\"", "tab\tbell\x07.avi"};
  TInputFileList files;
  for (const std::string &name : names)
    files.Add(Record(temp.Write(name, "x")));
  files[0].TrimStart = 65000;
  files[0].TrimDuration = 10000;
  files[0].AspectIndex = 2;
  files[0].AudioChoice = "2,fre";
  files[0].SubtitleChoice = "none";
  files[0].TargetBytes = 25000000;
  files[0].Status = csSuccess;
  files[0].OutputOptions.FileName = "/out/plain.mp4";
  files[1].Status = csFailed;
  files[1].StatusText = "Could not open\n'x': Permission denied";
  files[2].Status = csCanceled;
  files[3].HasVideo = false;
  files[3].Duration = files[3].DurationMs = -1;
  const TQueueStore store(temp.File("state/Queue.ini"));
  std::string error;
  ASSERT_TRUE(store.Save(files, {4, 7, "/out \"x\"/"}, error)) << error;

  TRestoredQueue restored = store.Load();
  EXPECT_EQ(restored.Problem, "");
  ASSERT_EQ(restored.Files.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const TInputFile &a = files[static_cast<int>(i)], &b = *restored.Files[i];
    EXPECT_EQ(b.FileName, temp.File(names[i]));
    EXPECT_EQ(b.InputOptions.FileName, b.FileName);
    EXPECT_EQ(b.OutputOptions.FileName, a.OutputOptions.FileName);
    EXPECT_EQ(b.StatusText, i == 4 ? "The conversion of this file was interrupted." : a.StatusText);
    EXPECT_EQ(b.Status, a.Status) << i;
    EXPECT_EQ(b.FileType, a.FileType);
    EXPECT_EQ(b.FileSize, a.FileSize);
    EXPECT_EQ(b.Duration, a.Duration);
    EXPECT_EQ(b.DurationMs, a.DurationMs);
    EXPECT_EQ(b.HasVideo, a.HasVideo);
    EXPECT_EQ(b.TrimStart, a.TrimStart);
    EXPECT_EQ(b.TrimDuration, a.TrimDuration);
    EXPECT_EQ(b.AspectIndex, a.AspectIndex);
    EXPECT_EQ(b.AudioChoice, a.AudioChoice);
    EXPECT_EQ(b.SubtitleChoice, a.SubtitleChoice);
    EXPECT_EQ(b.TargetBytes, a.TargetBytes);
  }
  EXPECT_EQ(restored.Run.Running, 4);
  EXPECT_EQ(restored.Run.Profile, 7);
  EXPECT_EQ(restored.Run.Folder, "/out \"x\"/");

  // Saved again without a run: nothing says a run is going on.
  ASSERT_TRUE(store.Save(files, {}, error));
  restored = store.Load();
  EXPECT_EQ(restored.Run.Running, -1);
  EXPECT_EQ(restored.Files[4]->Status, csNone);
}

TEST(QueueStoreTest, FilesThatCannotBeReadComeBackMissingAndRecover) {
  TTempFolder temp;
  TInputFileList files;
  files.Add(Record(temp.Write("gone.mp4", "x")));
  files.Add(Record(temp.File("folder.mp4")));
  files.Add(Record(temp.Write("kept.mp4", "x")));
  files[0].Status = csSuccess;
  fs::create_directory(temp.File("folder.mp4"));
  fs::remove(temp.File("gone.mp4"));
  const TQueueStore store(temp.File("Queue.ini"));
  std::string error;
  ASSERT_TRUE(store.Save(files, {}, error));
  TRestoredQueue restored = store.Load();
  ASSERT_EQ(restored.Files.size(), 3u);
  EXPECT_EQ(restored.Files[0]->Status, csMissing);
  EXPECT_EQ(restored.Files[0]->StatusText, "The file no longer exists.");
  EXPECT_EQ(restored.Files[1]->Status, csMissing);
  EXPECT_EQ(restored.Files[1]->StatusText, "The path no longer names a file.");
  EXPECT_EQ(restored.Files[2]->Status, csNone);

  // Saved as missing, back once the file is there again.
  files[0].Status = csMissing;
  ASSERT_TRUE(store.Save(files, {}, error));
  temp.Write("gone.mp4", "x");
  restored = store.Load();
  EXPECT_EQ(restored.Files[0]->Status, csNone);
  EXPECT_EQ(restored.Files[0]->StatusText, "");
}

TEST(QueueStoreTest, ADamagedQueueFileIsKeptAsideAndTheQueueStartsEmpty) {
  TTempFolder temp;
  const TQueueStore store(temp.File("Queue.ini"));
  EXPECT_TRUE(store.Load().Files.empty()); // no file yet: no problem either
  EXPECT_EQ(store.Load().Problem, "");
  for (const std::string &content :
       {std::string("\x89PNG\r\n garbage"), std::string("[Queue]\nCount=many\n"), std::string(""),
        std::string("[Queue]\nCount=2\n[File0]\nPath=/a\nStatus=-\n"),
        std::string("[Queue]\nCount=1\n[File0]\nPath=/a\nStatus=Done\n"),
        std::string("[Queue]\nCount=1\n[File0]\nPath=/a\\q\nStatus=-\n"),
        std::string("[Queue]\nCount=1\n[File0]\nPath=/a\nStatus=-\nTrimStart=soon\n")}) {
    temp.Write("Queue.ini", content);
    const TRestoredQueue restored = store.Load();
    EXPECT_TRUE(restored.Files.empty()) << content;
    EXPECT_NE(restored.Problem.find("kept as \"" + temp.File("Queue.ini.bad") + "\""), std::string::npos)
        << restored.Problem;
    EXPECT_EQ(temp.Read("Queue.ini.bad"), content);
    EXPECT_FALSE(fs::exists(temp.File("Queue.ini")));
  }
  // At least Path and Status: the rest takes defaults.
  temp.Write("Queue.ini", "[Queue]\nCount=1\n[File0]\nPath=" + temp.Write("a.avi", "x") + "\nStatus=Success\n");
  const TRestoredQueue restored = store.Load();
  ASSERT_EQ(restored.Files.size(), 1u);
  EXPECT_EQ(restored.Files[0]->Status, csSuccess);
  EXPECT_EQ(restored.Files[0]->TrimStart, -1);
  EXPECT_EQ(restored.Files[0]->DurationMs, -1);
}

// The program was killed while converting the second of three files: at the next start its partial
// output goes, the first file is not converted again, the second starts over and the third follows.
TEST_F(TConvertTest, AnInterruptedRunResumesWhereItWasCutOff) {
  ASSERT_EQ(Driver.AddFile(Media("clip25.avi")), 0);
  ASSERT_EQ(Driver.AddFile(Media("tone.wav")), 1);
  ASSERT_EQ(Driver.AddFile(Media("clip15.mkv")), 2);
  Driver.Files[0].Status = csSuccess;
  Driver.Files[0].OutputOptions.FileName = Out() + "clip25.mp3";
  std::ofstream(Out() + "clip25.mp3") << "converted before";
  Driver.Files[1].OutputOptions.FileName = Out() + "tone.mp3";
  std::ofstream(Out() + ".tone.mp3.part") << "half";
  const TQueueStore store(Temp.File("Queue.ini"));
  std::string error;
  ASSERT_TRUE(store.Save(Driver.Files, {1, AudioMp3, Out()}, error));
  Driver.Clear();

  TQueueKeeper keeper(Driver, store.Path());
  std::string problem;
  const TQueueRun run = keeper.Restore(problem);
  EXPECT_FALSE(fs::exists(Out() + ".tone.mp3.part"));
  ASSERT_EQ(run.Running, 1);
  ASSERT_EQ(Driver.Files.Count(), 3);
  ASSERT_TRUE(Driver.BuildRun(run.Profile, run.Folder, TTvlConvert::NotReached));
  EXPECT_EQ(Driver.Engine.TaskTotal(), 2);
  EXPECT_EQ(Driver.PositionOfTask(0), 1);
  keeper.RunStarted(run.Profile, run.Folder);
  keeper.RunMoved(0);
  EXPECT_EQ(store.Load().Run.Running, 1);
  ASSERT_TRUE(RunToEnd());
  Driver.EndRun();
  keeper.RunEnded();
  EXPECT_EQ(store.Load().Run.Running, -1);
  for (int p = 0; p < 3; ++p)
    EXPECT_EQ(Driver.Files[p].Status, csSuccess) << p;
  EXPECT_EQ(TTempFolder::ReadFile(Out() + "clip25.mp3"), "converted before");
  EXPECT_EQ(Driver.Files[1].OutputOptions.FileName, Out() + "tone.mp3");
  EXPECT_GT(fs::file_size(Out() + "clip15.mp3"), 1000u);
}
