// A film with two sound tracks, two subtitle tracks, chapters and tags, and a song with a cover,
// converted with the shipped profiles: what each kind of container keeps of them.
#include <algorithm>
#include <filesystem>

#include "ShippedFixture.h"
#include "convert/BurnIn.h"
#include "convert/TrackPlan.h"

#include "../MediaFrames.h"
#include "../TrackFacts.h"

namespace {

namespace fs = std::filesystem;

class TTracksTest : public TShippedTest {
protected:
  // The film converted with the shipped profile whose name starts with the text.
  TFileFacts Film(const std::string &profile, const std::function<void(TInputFile &)> &edit = {}) {
    return Converted("film.mkv", profile, edit);
  }

  TFileFacts Converted(const std::string &source, const std::string &profile,
                       const std::function<void(TInputFile &)> &edit = {}) {
    const int index = ShippedProfile(Profiles, profile);
    EXPECT_GE(index, 0) << profile;
    const std::string output = index < 0 ? "" : Convert(Media(source), index, edit);
    Note = output.empty() ? "" : Driver.Files[0].RunNote;
    return output.empty() ? TFileFacts{} : ReadFileFacts(output);
  }

  TFileFacts FilmInTextContainer(const std::string &profile, const std::string &codec, const std::string &container);

  std::string Note;
};

// Both sound tracks in the source's order with their languages, title and default flag.
void ExpectBothAudioTracks(const TFileFacts &facts) {
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 2);
  const TTrackFacts first = facts.Of(AVMEDIA_TYPE_AUDIO, 0), second = facts.Of(AVMEDIA_TYPE_AUDIO, 1);
  EXPECT_EQ(first.Language, "eng");
  EXPECT_TRUE(first.Disposition & AV_DISPOSITION_DEFAULT);
  EXPECT_EQ(second.Language, "fre");
  EXPECT_EQ(second.Title, "Commentary");
  EXPECT_FALSE(second.Disposition & AV_DISPOSITION_DEFAULT);
}

// The DVD subtitle track of dvdsubs.mkv, kept as it is.
void ExpectDvdSubtitles(const TFileFacts &facts) {
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_SUBTITLE), 1);
  EXPECT_EQ(facts.Of(AVMEDIA_TYPE_SUBTITLE).Codec, "dvd_subtitle");
  EXPECT_EQ(facts.Of(AVMEDIA_TYPE_SUBTITLE).Lines.size(), 2u);
}

// The subtitles in the container's text form, each with its language and its lines.
void ExpectSubtitles(const TFileFacts &facts, const std::string &firstCodec, const std::string &secondCodec) {
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_SUBTITLE), 2);
  const TTrackFacts english = facts.Of(AVMEDIA_TYPE_SUBTITLE, 0), french = facts.Of(AVMEDIA_TYPE_SUBTITLE, 1);
  EXPECT_EQ(english.Codec, firstCodec);
  EXPECT_EQ(english.Language, "eng");
  EXPECT_EQ(english.Title, "English");
  EXPECT_EQ(french.Codec, secondCodec);
  EXPECT_EQ(french.Language, "fre");
  ASSERT_EQ(english.Lines.size(), 2u);
  EXPECT_NEAR(english.Lines[1], 1.5, 0.05);
}

void ExpectChapters(const TFileFacts &facts) {
  ASSERT_EQ(facts.Chapters.size(), 2u);
  EXPECT_EQ(facts.Chapters[0].Title, "Opening");
  EXPECT_EQ(facts.Chapters[1].Title, "Ending");
  EXPECT_NEAR(facts.Chapters[1].Start, 1.5, 0.01);
  EXPECT_EQ(facts.Tags.at("title"), "Test Film");
}

// The film in a container that holds text subtitles only: every track, its subtitles as codec, its
// chapters; picture subtitles left out with a note naming the container.
TFileFacts TTracksTest::FilmInTextContainer(const std::string &profile, const std::string &codec,
                                            const std::string &container) {
  const TFileFacts facts = Film(profile);
  ExpectBothAudioTracks(facts);
  ExpectSubtitles(facts, codec, codec);
  ExpectChapters(facts);
  EXPECT_EQ(Converted("dvdsubs.mkv", profile).Count(AVMEDIA_TYPE_SUBTITLE), 0);
  EXPECT_EQ(Note, "Picture subtitles were left out: " + container + " files hold text subtitles only.");
  return facts;
}

TEST_F(TTracksTest, Mp4AndMovKeepEveryTrackWithTextSubtitlesAndChapters) {
  const TFileFacts facts = FilmInTextContainer("MP4 - H.264", "mov_text", "MP4");
  EXPECT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
  EXPECT_EQ(facts.Count(AVMEDIA_TYPE_ATTACHMENT), 0);
}

TEST_F(TTracksTest, MkvKeepsEveryTrackAsItIs) {
  const TFileFacts facts = Film("MKV - H.264");
  ExpectBothAudioTracks(facts);
  EXPECT_EQ(facts.Of(AVMEDIA_TYPE_AUDIO, 1).Codec, "vorbis");
  ExpectSubtitles(facts, "subrip", "ass");
  ExpectChapters(facts);
  EXPECT_EQ(facts.Tags.at("creation_time"), "2019-06-01T10:20:30.000000Z");
  // The font of the subtitles, byte for byte.
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_ATTACHMENT), 1);
  const TTrackFacts font = facts.Of(AVMEDIA_TYPE_ATTACHMENT);
  EXPECT_EQ(font.FileName, "TestSans.ttf");
  EXPECT_EQ(font.MimeType, "application/x-truetype-font");
  EXPECT_EQ(font.Bytes, ReadFileFacts(Media("film.mkv")).Of(AVMEDIA_TYPE_ATTACHMENT).Bytes);
  EXPECT_GT(font.Bytes, 0);
  for (const char *source : {"dvdsubs.mkv", "dvdsubs.vob"}) {
    SCOPED_TRACE(source);
    const TFileFacts dvd = Converted(source, "MKV - H.264");
    ExpectDvdSubtitles(dvd);
    // Program streams name no languages.
    EXPECT_EQ(dvd.Of(AVMEDIA_TYPE_SUBTITLE).Language, std::string(source) == "dvdsubs.mkv" ? "eng" : "");
  }
}

TEST_F(TTracksTest, WebmKeepsEveryTrackWithWebVttSubtitles) {
  FilmInTextContainer("WebM - VP8", "webvtt", "WEBM");
}

// Program streams take every sound track but no text subtitles; 3GP and AVI one sound track and no
// subtitles; the row's note says what was left out.
TEST_F(TTracksTest, ContainersWithoutSubtitlesKeepWhatTheyHoldAndSaySo) {
  struct TCase {
    const char *Profile;
    int Audio;
    const char *Note;
  };
  for (const TCase &c : {TCase{"MPEG-1", 2, "Text subtitles were left out: MPG files hold picture subtitles only."},
                         TCase{"MPEG-2 Video for DVD", 2, "Text subtitles were left out: MPG files"},
                         TCase{"3GP", 1, "Only the default audio track was kept: 3GP files hold one."},
                         TCase{"AVI", 1, "Subtitles were left out: AVI files hold none of these."}}) {
    SCOPED_TRACE(c.Profile);
    const TFileFacts facts = Film(c.Profile);
    EXPECT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), c.Audio);
    EXPECT_EQ(facts.Count(AVMEDIA_TYPE_SUBTITLE), 0);
    EXPECT_NE(Note.find(c.Note), std::string::npos) << Note;
  }
  // A DVD's own subtitles stay on the way to a DVD.
  ExpectDvdSubtitles(Converted("dvdsubs.mkv", "MPEG-2 Video for DVD"));
}

TEST_F(TTracksTest, AudioFilesKeepTagsAndCoverAndVideoProfilesMakeNoPictureOfIt) {
  for (const char *profile : {"MP3", "M4A", "FLAC", "OPUS"}) {
    SCOPED_TRACE(profile);
    const std::string output = Convert(Media("song.mp3"), ShippedProfile(Profiles, profile));
    const TFileFacts facts = ReadFileFacts(output);
    EXPECT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
    EXPECT_EQ(facts.Tags.count("title") ? facts.Tags.at("title") : "", "Test Song");
    EXPECT_EQ(facts.Tags.count("artist") ? facts.Tags.at("artist") : "", "Test Artist");
    // Ogg keeps it as a comment, which the libraries read back as the picture stream it was.
    EXPECT_EQ(facts.Count(AVMEDIA_TYPE_VIDEO), 1);
    EXPECT_TRUE(facts.Of(AVMEDIA_TYPE_VIDEO).Disposition & AV_DISPOSITION_ATTACHED_PIC);
  }
  const TFileFacts video = ReadFileFacts(Convert(Media("song.mp3"), H264));
  EXPECT_EQ(video.Count(AVMEDIA_TYPE_VIDEO), 0);
  EXPECT_EQ(video.Count(AVMEDIA_TYPE_AUDIO), 1);
  // Matroska attaches the cover, which the libraries read back as a picture with its name: a
  // picture track of one frame would have none. Alike for a video and an audio profile.
  const int mkv = ShippedProfile(Profiles, "MKV - H.264");
  const int coverBytes = ReadFileFacts(Media("song.mp3")).Of(AVMEDIA_TYPE_VIDEO).Bytes;
  for (const int category : {1, 0}) {
    SCOPED_TRACE(category);
    Profiles.Formats[static_cast<std::size_t>(mkv)].Category = category;
    const TFileFacts matroska = ReadFileFacts(Convert(Media("song.mp3"), mkv));
    EXPECT_EQ(matroska.Count(AVMEDIA_TYPE_AUDIO), 1);
    EXPECT_EQ(matroska.Tags.count("title") ? matroska.Tags.at("title") : "", "Test Song");
    ASSERT_EQ(matroska.Count(AVMEDIA_TYPE_VIDEO), 1);
    const TTrackFacts cover = matroska.Of(AVMEDIA_TYPE_VIDEO);
    EXPECT_TRUE(cover.Disposition & AV_DISPOSITION_ATTACHED_PIC);
    EXPECT_EQ(cover.FileName, "cover.jpg");
    EXPECT_EQ(cover.MimeType, "image/jpeg");
    EXPECT_EQ(cover.Bytes, coverBytes);
    EXPECT_GT(cover.Bytes, 0);
  }
}

TEST_F(TTracksTest, ATrimShiftsAndCutsSubtitlesAndChapters) {
  const TFileFacts facts = Film("MKV - H.264", [](TInputFile &file) {
    file.TrimStart = 1000;
    file.TrimDuration = 1500;
  });
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_SUBTITLE), 2);
  const std::vector<double> lines = facts.Of(AVMEDIA_TYPE_SUBTITLE).Lines;
  ASSERT_EQ(lines.size(), 1u); // the line at 0.2 s lies before the trim
  EXPECT_NEAR(lines[0], 0.5, 0.05);
  ASSERT_EQ(facts.Chapters.size(), 2u);
  EXPECT_NEAR(facts.Chapters[0].Start, 0, 0.01);
  EXPECT_NEAR(facts.Chapters[0].End, 0.5, 0.01);
  EXPECT_NEAR(facts.Chapters[1].Start, 0.5, 0.01);
  EXPECT_NEAR(facts.Chapters[1].End, 1.5, 0.01);
}

TEST_F(TTracksTest, ThePerFileChoiceKeepsTheChosenTracks) {
  const TFileFacts facts = Film("MP4 - H.264", [](TInputFile &file) {
    EXPECT_EQ(TrackSummary(file.Tracks, file.AudioChoice, file.SubtitleChoice), "2 audio, 2 subtitles");
    file.AudioChoice = "fre";
    file.SubtitleChoice = "2";
    EXPECT_EQ(TrackSummary(file.Tracks, file.AudioChoice, file.SubtitleChoice), "1 audio, 1 subtitle");
  });
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
  EXPECT_EQ(facts.Of(AVMEDIA_TYPE_AUDIO).Title, "Commentary");
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_SUBTITLE), 1);
  EXPECT_EQ(facts.Of(AVMEDIA_TYPE_SUBTITLE).Language, "fre");
  std::string error;
  EXPECT_TRUE(ValidTrackChoice("1, eng,FRE", true, error));
  EXPECT_TRUE(ValidTrackChoice("default", true, error));
  EXPECT_FALSE(ValidTrackChoice("default", false, error));
  EXPECT_FALSE(ValidTrackChoice("0", true, error));
  EXPECT_FALSE(ValidTrackChoice("first", false, error));
}

// A restored record's choice names tracks the file no longer has: those still there are kept, else
// all of them, and the row's note says so; a burn-in of a track that is gone keeps them soft.
TEST_F(TTracksTest, AStoredChoiceOfTracksTheFileNoLongerHasFallsBackAndSaysSo) {
  const TFileFacts facts = Film("MKV - H.264", [](TInputFile &file) {
    file.Tracks.clear();
    file.TracksRead = false;
    file.AudioChoice = "2,3";
    file.SubtitleChoice = "ger";
  });
  ASSERT_EQ(facts.Count(AVMEDIA_TYPE_AUDIO), 1);
  EXPECT_EQ(facts.Of(AVMEDIA_TYPE_AUDIO).Title, "Commentary");
  EXPECT_EQ(facts.Count(AVMEDIA_TYPE_SUBTITLE), 2);
  EXPECT_NE(Note.find("The file no longer has audio track 3: the other chosen ones were kept."), std::string::npos)
      << Note;
  EXPECT_NE(Note.find("The file no longer has subtitle track ger: all its subtitle tracks were kept."),
            std::string::npos)
      << Note;
  const TInputFile &film = Driver.Files[0];
  EXPECT_EQ(TrackSummary(film.Tracks, film.AudioChoice, film.SubtitleChoice), "1 audio, 2 subtitles");

  TOutputOptions out;
  const TTrackSource source{film.Tracks, film.PictureStream, -1, "4,5", "burn:3", film.FileName, 0, true, {}};
  const std::string note = MapTracks(out, source, ".mkv");
  EXPECT_NE(note.find("no longer has audio tracks 4, 5: all its audio tracks were kept."), std::string::npos) << note;
  EXPECT_NE(note.find("The subtitles were kept as tracks: the file has no subtitle 3."), std::string::npos)
      << note;
  EXPECT_TRUE(out.VideoFilters.empty());
  EXPECT_EQ(out.Streams.size(), 4u); // both sound tracks, both subtitles
  EXPECT_EQ(TrackSummary(film.Tracks, "4,5", "burn:3"), "2 audio, 2 subtitles");
  EXPECT_EQ(TrackSummary(film.Tracks, "all", "burn:2"), "2 audio, 1 subtitle burned in");
}

// The luma of the lower third of the picture shown at the time.
std::vector<int> LowerLuma(const std::string &file, double seconds) {
  std::vector<int> luma;
  PictureAt(file, seconds, [&](const AVFrame &frame) {
    for (int y = frame.height * 2 / 3; y < frame.height; ++y)
      for (int x = 0; x < frame.width; ++x)
        luma.push_back(frame.data[0][y * frame.linesize[0] + x]);
  });
  return luma;
}

double MeanDifference(const std::vector<int> &a, const std::vector<int> &b) {
  if (a.empty() || a.size() != b.size())
    return -1;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

// Trimmed by half a second, so the burned line must follow the source's times: the first line
// (0.2-0.8 s) shows at the output's start and is gone by 0.7 s (1.2 s in the source).
TEST_F(TTracksTest, ABurnedLineIsDrawnWhileItIsShownAndKeepsStepWithATrim) {
  const auto trimmed = [](const std::string &subtitles) {
    return [subtitles](TInputFile &file) {
      file.TrimStart = 500;
      file.TrimDuration = 1200;
      file.SubtitleChoice = subtitles;
    };
  };
  const int index = ShippedProfile(Profiles, "MP4 - H.264");
  ASSERT_GE(index, 0);
  const std::string plain = Convert(Media("film.mkv"), index, trimmed("none"));
  fs::rename(plain, plain + ".plain.mp4");
  const std::string burned = Convert(Media("film.mkv"), index, trimmed("burn:1"));
  ASSERT_FALSE(burned.empty());
  EXPECT_EQ(ReadFileFacts(burned).Count(AVMEDIA_TYPE_SUBTITLE), 0);
  const double during = MeanDifference(LowerLuma(burned, 0.05), LowerLuma(plain + ".plain.mp4", 0.05));
  EXPECT_GT(during, 1.0) << during;
  const double after = MeanDifference(LowerLuma(burned, 0.7), LowerLuma(plain + ".plain.mp4", 0.7));
  EXPECT_GE(after, 0);
  // What is left is the encoder's noise from pictures that differed before.
  EXPECT_LT(after, during / 3) << during;

  std::string error;
  EXPECT_TRUE(ValidTrackChoice("burn:2", false, error));
  EXPECT_FALSE(ValidTrackChoice("burn:2", true, error));
  EXPECT_FALSE(ValidTrackChoice("burn:0", false, error));
  // A track that cannot be burned leaves the subtitles as tracks, and says why.
  TOutputOptions out;
  const TInputFile &film = Driver.Files[0];
  const TTrackSource source{film.Tracks, film.PictureStream, -1, "all", "burn:1", film.FileName, 0, false, {}};
  EXPECT_NE(MapTracks(out, source, ".mkv").find("cannot draw them"), std::string::npos);
  EXPECT_TRUE(out.VideoFilters.empty());
  EXPECT_EQ(std::count_if(out.Streams.begin(), out.Streams.end(),
                          [](const TMappedStream &s) { return s.Kind == TMappedKind::Subtitle; }), 2);
  EXPECT_EQ(FilterGraphValue("/tmp/it's [a],b;c:d\\e.mkv"), "/tmp/it\\\\\\'s \\[a\\]\\,b\\;c\\\\:d\\\\\\\\e.mkv");
}

// DVD subtitles drawn by the engine itself: dvdsubs.mkv trimmed by half a second (its lines at
// 0.2-0.8 s and 1.5-2.5 s show at 0-0.3 s and from 1.0 s of the output), and dvdsubs.vob untrimmed,
// whose program stream starts late (its lines show at the same times as the file's own start).
TEST_F(TTracksTest, APictureSubtitleLineIsBurnedWhileItIsShownAndKeepsStepWithATrim) {
  struct TCase {
    const char *Source;
    int TrimStart;
    std::vector<double> Shown, Hidden;
  };
  for (const TCase &c : {TCase{"dvdsubs.mkv", 500, {0.05, 1.1}, {0.5}}, TCase{"dvdsubs.vob", 0, {0.4, 1.8}, {1.1}}}) {
    SCOPED_TRACE(c.Source);
    const auto edit = [&c](const std::string &subtitles) {
      return [&c, subtitles](TInputFile &file) {
        if (c.TrimStart > 0) {
          file.TrimStart = c.TrimStart;
          file.TrimDuration = 1200;
        }
        file.SubtitleChoice = subtitles;
      };
    };
    const std::string plain = Convert(Media(c.Source), H264, edit("none")) + ".plain.mp4";
    fs::rename(plain.substr(0, plain.size() - 10), plain);
    const std::string burned = Convert(Media(c.Source), H264, edit("burn:1"));
    ASSERT_FALSE(burned.empty());
    EXPECT_EQ(ReadFileFacts(burned).Count(AVMEDIA_TYPE_SUBTITLE), 0);
    // The bar covers about a fifth of the lower third; what is left without it is the encoder's noise.
    for (double t : c.Shown)
      EXPECT_GT(MeanDifference(LowerLuma(burned, t), LowerLuma(plain, t)), 10) << t;
    for (double t : c.Hidden) {
      const double hidden = MeanDifference(LowerLuma(burned, t), LowerLuma(plain, t));
      EXPECT_GE(hidden, 0) << t;
      EXPECT_LT(hidden, 2) << t;
    }
  }
  // The engine draws picture subtitles itself, whatever the filter library can do.
  TOutputOptions out;
  const TInputFile &film = Driver.Files[0];
  const TTrackSource source{film.Tracks, film.PictureStream, -1, "all", "burn:1", film.FileName, 0, false, {}};
  EXPECT_EQ(MapTracks(out, source, ".mp4"), "");
  EXPECT_EQ(out.BurnSubtitle, film.Tracks.back().Stream);
  EXPECT_TRUE(out.VideoFilters.empty());
  EXPECT_TRUE(std::none_of(out.Streams.begin(), out.Streams.end(),
                           [](const TMappedStream &s) { return s.Kind == TMappedKind::Subtitle; }));
}

} // namespace
