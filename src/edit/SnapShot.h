#pragma once
// Saving the preview's picture: the folder, the file name, and a file that is written whole or not at all.
#include <cstdint>
#include <ctime>
#include <string>

class TBitmap;
class TIniOptions;

// Values of the SnapShotFormat setting.
enum TSnapShotFormat : int32_t { sfJpeg = 0, sfBmp = 1 };
// Values of the SnapShotName setting: after the source file, or after the time of the snapshot.
enum TSnapShotName : int32_t { snFileName = 0, snTime = 1 };

inline constexpr int JpegQuality = 90;

// ".jpg" or ".bmp". Any other value, which only an edited settings file can hold, counts as JPEG.
const char *SnapShotExtension(int32_t format);

// The name part of a queue caption without its extension: "a.b" for "a.b.mp4".
std::string SnapShotBase(const std::string &caption);
// "yyyymmdd hhnnsszzz" of a local time and its milliseconds.
std::string SnapShotTimeBase(const std::tm &local, int milliseconds);

// folder + base + ext, or else folder + base + "_1" + ext, "_2", …: the first name no entry has yet.
// The folder ends with '/'.
std::string FirstFreeFileName(const std::string &folder, const std::string &base, const std::string &ext);

// The folder of the settings; an empty setting, which is never stored, means the default folder.
std::string SnapShotFolder(const TIniOptions &settings);

// Writes a BMP or JPEG file under a temporary name beside the target and renames it into place, so a
// failure leaves no partial picture behind. False with the reason in error.
bool SaveSnapShot(const TBitmap &bitmap, const std::string &path, int32_t format, std::string &error);

// The whole snapshot command: makes the folder (one level) when it is missing, names the file by the
// settings (caption: the queue row of the file on screen) and saves the picture. A picture of no size
// saves nothing and is no failure; then path stays empty. False with a message for the user that names
// the folder and the reason.
bool TakeSnapShot(const TBitmap *picture, const TIniOptions &settings, const std::string &caption,
                  std::string &path, std::string &error);
