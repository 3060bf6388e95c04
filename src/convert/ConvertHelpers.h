#pragma once
// Helpers the queue, the job builder and the progress window share: the extension lists, the
// folder search and the hours:minutes:seconds text.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The extension list texts. Lookups in them are substring tests on upper-cased text, so ".MP"
// counts as a video extension (it occurs inside "*.MP4;"). Newer types follow the older ones.
inline constexpr const char *VideoExtensions =
    "*.AVI;*.AVM;*.ASF;*.WMV;*.AVS;*.FLV;*.MKV;*.MOV;*.3GP;*.MP4;*.MPG;*.MPEG;*.DAT;*.OGM;*.VOB;*.RM;*.RMVB;*.TS;"
    "*.TP;*.IFO;*.NSV;*.MOD;*.TOD;*.WEBM;*.OGV;*.M4V;*.MTS;*.M2TS;*.M2V;*.3G2;*.F4V;";
inline constexpr const char *AudioExtensions =
    "*.MP3;*.AAC;*.WAV;*.WMA;*.CDA;*.FLAC;*.M4A;*.MID;*.MKA;*.MP2;*.MPA;*.MPC;*.APE;*.OFR;*.OGG;*.RA;*.WV;*.TTA;"
    "*.AC3;*.DTS;*.OPUS;*.OGA;*.AIFF;*.AIF;*.AMR;*.M4B;";

// Whole seconds as "hh:mm:ss"; hours may take more than two digits. A negative value stands for
// a length the file does not tell: "--:--:--".
std::string FormatSeconds(int32_t seconds);

// ASCII upper case; other bytes (UTF-8 sequences) stay as they are.
std::string UpperCase(std::string text);
std::string LowerCase(std::string text);

// True when the upper-cased text occurs in the list text.
bool InExtensionList(const char *list, const std::string &text);

// Name order as users expect a folder listed: letters without regard to case, runs of digits by
// their value (clip2 before clip10), and names that still tie by their exact bytes.
bool NaturalNameLess(const std::string &a, const std::string &b);

// Appends the video files under the folder (which ends in "/"), depth first, each folder's entries
// in NaturalNameLess order. Hidden entries and symbolic links are never descended into: they are
// judged by their names like files. Audio files are never collected. A search that stopped returns
// true before each folder ends it there: a tree of any size can be given up on.
void FindVideoFiles(const std::string &folder, std::vector<std::string> &list,
                    const std::function<bool()> &stopped = {});
