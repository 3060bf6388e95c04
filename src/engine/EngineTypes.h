#pragma once
// Enumerations shared by the engine component and its tasks.
#include <cstdint>
#include <mutex>

// A 24-bit picture handed to hook and preview handlers (defined with the picture converter).
class TBitmap;

enum TLogLevel { llQuiet, llError, llInfo, llDebug, llAll };

// The scheduling of worker threads, from idle to normal.
enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// What the before-hook handler decides for a frame.
enum THookAction { haContinue, haIgnore, haStop };

// An engine message level (-1 quiet, 0 error, 1 info, 2 debug, 3 all) as a TLogLevel.
TLogLevel LogLevelOf(int level);

// Guards the preview flags of every task and the preview converter.
std::mutex &PreviewLock();
