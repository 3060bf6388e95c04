#pragma once
// Writes one synthetic clip: a moving colour pattern and a sine tone, plus optional subtitle and
// data streams, encoded and muxed through the bound library tables.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Cover: one picture stored as an audio file's attached picture. Attachment: a file attached to a
// Matroska file (a font), named by the stream's filename and mimetype tags.
enum class TStreamKind { Video, Audio, Subtitle, Data, Cover, Attachment };

// What the pictures and the sound show: the moving pattern and the steady tone; one solid colour;
// or a white flash on the first frame of every second with a short tone burst starting together;
// or the pattern with a tone whose level swells and fades twice every three seconds; or a still
// ramp of grey levels from left to right in the stream's transfer (SDR, PQ or HLG).
enum class TContent { Pattern, Solid, Flashes, Swell, Ramp };

// A subtitle line shown from Start to End seconds.
struct TCaption {
  double Start, End;
  std::string Text;
};

struct TChapter {
  double Start, End; // seconds
  std::string Title;
};

struct TStreamPlan {
  TStreamKind Kind;
  std::string Codec; // encoder name; subtitles: "ass", "dvdsub" (Width × Height), else SubRip; unused for data streams
  int Width = 0, Height = 0;
  int RateNum = 0, RateDen = 1; // frames per second
  int SarNum = 0, SarDen = 1;   // sample aspect ratio; 0 leaves it unknown
  int SampleRate = 22050, Channels = 1;
  std::string PixelFormat = "yuv420p";
  int MaxBFrames = 0;          // B-frames between reference frames
  int ClockRate = 0;            // video: a time base of 1/ClockRate with frames spaced unevenly
  int Rotation = 0;             // video: degrees clockwise the picture is turned for display
  int RepeatTimestampEvery = 0; // every n-th packet repeats the time of the one before
  TContent Content = TContent::Pattern;
  int SolidY = 0, SolidU = 128, SolidV = 128; // the colour of TContent::Solid
  int KeyInterval = 12;                       // frames between key pictures
  int BitRate = 0;                            // 0: the generator's small default
  std::map<std::string, std::string> Metadata = {}; // the stream's tags (language, title)
  int Disposition = 0;                         // AV_DISPOSITION_* flags
  std::vector<TCaption> Captions = {};         // subtitles; none: one caption for the first second
  double ToneLevel = 0.5;                     // audio: the tone's peak, of full scale
  int Transfer = 0;                           // video: AVColorTransferCharacteristic; PQ and HLG are BT.2020
};

struct TClipPlan {
  std::string Format; // muxer name
  double Seconds = 2;
  std::vector<TStreamPlan> Streams;
  std::map<std::string, std::string> Metadata;
  std::vector<TChapter> Chapters;
  // Damage: from JumpAt seconds on, every packet is stamped JumpBy seconds later (a clock jump).
  double JumpAt = 0, JumpBy = 0;
};

// False with error set when a codec or the muxer refuses.
bool WriteClip(const std::string &path, const TClipPlan &plan, std::string &error);

// Convenience constructors for the usual streams.
TStreamPlan VideoStream(const std::string &codec, int width, int height, int rateNum, int rateDen = 1);
TStreamPlan AudioStream(const std::string &codec, int sampleRate = 22050, int channels = 1);
