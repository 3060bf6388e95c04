#pragma once
// Routing of the media libraries' log lines to the engine component and task whose thread wrote
// them. The libraries write a line in pieces; each thread's unfinished line waits in a TLogList.
#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

class TCustomFFmpegVCL;

struct TLogItem {
  int ThreadID = 0; // 0: the slot is free
  std::string Text;
  bool Cut = false; // the line outgrew the buffer: the rest of it, up to its line feed, is dropped
};

class TLogList {
public:
  // The item of the thread, taking a free slot or adding one when it has none.
  TLogItem &ItemOfThread(int threadId);
  void Clear();

private:
  std::vector<TLogItem> FItems;
};

// Every live engine component, and the pending text of every thread; one lock guards both and is
// held while a line is handed to the components (before any component's EventLock).
class TComponentRegistry {
public:
  void Add(TCustomFFmpegVCL *component);
  // After this returns no line is being handed to the component.
  void Remove(TCustomFFmpegVCL *component);
  void ClearLogs();
  void Write(void *context, int level, const char *format, va_list args);

private:
  std::mutex FLock;
  std::vector<TCustomFFmpegVCL *> FComponents; // guarded by FLock
  TLogList FLogs;                              // guarded by FLock
};

TComponentRegistry &ComponentRegistry();

// Installed with av_log_set_callback; safe to call from any thread.
void LibraryLogCallback(void *context, int level, const char *format, va_list args);

// A library log level as an engine level: -1 quiet, 0 error, 1 info, 2 debug, 3 all.
int EngineLogLevel(int libraryLevel);

// An engine level as the library's level.
int LibraryLogLevel(int engineLevel);

// Cuts the text before the first line feed off text (the line feed is dropped).
std::string SplitHead(std::string &text);
