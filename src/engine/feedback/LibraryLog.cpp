#include "engine/feedback/LibraryLog.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <unistd.h>

#include "engine/FFmpegVCL.h"
#include "media/AVUtilStubs.h"

namespace {
constexpr size_t LineBufferSize = 2048;
}

TLogItem &TLogList::ItemOfThread(int threadId) {
  for (TLogItem &item : FItems)
    if (item.ThreadID == threadId)
      return item;
  for (TLogItem &item : FItems)
    if (item.ThreadID == 0) {
      item.ThreadID = threadId;
      return item;
    }
  FItems.push_back({threadId, {}});
  return FItems.back();
}

void TLogList::Clear() { FItems.clear(); }

void TComponentRegistry::Add(TCustomFFmpegVCL *component) {
  std::lock_guard guard(FLock);
  FComponents.push_back(component);
}

void TComponentRegistry::Remove(TCustomFFmpegVCL *component) {
  std::lock_guard guard(FLock);
  std::erase(FComponents, component);
}

void TComponentRegistry::ClearLogs() {
  std::lock_guard guard(FLock);
  FLogs.Clear();
}

void TComponentRegistry::Write(void *context, int level, const char *format, va_list args) {
  const int threadId = static_cast<int>(gettid());
  std::lock_guard guard(FLock);
  TLogItem &item = FLogs.ItemOfThread(threadId);

  // Pending text and message together are cut at the buffer's size.
  char buffer[LineBufferSize] = {};
  const AVClass *avClass = context ? *static_cast<const AVClass *const *>(context) : nullptr;
  int used = 0;
  if (avClass && item.Text.empty() && !item.Cut) {
    const char *name = avClass->item_name ? avClass->item_name(context) : nullptr;
    used = std::snprintf(buffer, sizeof buffer, "[%s @ %08" PRIXPTR "]", name ? name : "",
                         reinterpret_cast<uintptr_t>(avClass));
  } else {
    used = std::snprintf(buffer, sizeof buffer, "%s", item.Text.c_str());
  }
  used = std::clamp(used, 0, static_cast<int>(sizeof buffer) - 1);
  const int wanted = std::vsnprintf(buffer + used, sizeof buffer - static_cast<size_t>(used), format, args);
  const bool truncated = static_cast<size_t>(used) + static_cast<size_t>(std::max(wanted, 0)) >= sizeof buffer;

  std::string text(buffer);
  if (item.Cut) {
    const size_t feed = text.find('\n');
    if (feed == std::string::npos)
      return;
    text.erase(0, feed + 1);
    item.Cut = false;
  }
  const int engineLevel = EngineLogLevel(level);
  auto dispatch = [&](const std::string &line) {
    for (TCustomFFmpegVCL *component : FComponents)
      component->LibraryLine(threadId, engineLevel, line);
  };
  while (text.find('\n') != std::string::npos)
    dispatch(SplitHead(text));
  if (truncated) {
    // What fitted of the overlong line goes out now; the rest of it is dropped.
    if (!text.empty())
      dispatch(text);
    text.clear();
    item.Cut = true;
  }
  item.Text = std::move(text);
  if (item.Text.empty() && !item.Cut)
    item.ThreadID = 0;
}

TComponentRegistry &ComponentRegistry() {
  static TComponentRegistry registry;
  return registry;
}

void LibraryLogCallback(void *context, int level, const char *format, va_list args) {
  if (level > AVUtil.av_log_get_level())
    return;
  ComponentRegistry().Write(context, level, format, args);
}

int EngineLogLevel(int libraryLevel) {
  if (libraryLevel <= AV_LOG_QUIET)
    return -1;
  if (libraryLevel <= AV_LOG_ERROR)
    return 0;
  if (libraryLevel <= AV_LOG_INFO)
    return 1;
  if (libraryLevel <= AV_LOG_DEBUG)
    return 2;
  return 3;
}

int LibraryLogLevel(int engineLevel) {
  if (engineLevel < 0)
    return AV_LOG_QUIET;
  constexpr int levels[] = {AV_LOG_ERROR, AV_LOG_INFO, AV_LOG_DEBUG, AV_LOG_TRACE};
  return levels[std::min(engineLevel, 3)];
}

std::string SplitHead(std::string &text) {
  const size_t feed = text.find('\n');
  if (feed == std::string::npos) {
    std::string head = std::move(text);
    text.clear();
    return head;
  }
  std::string head = text.substr(0, feed);
  text.erase(0, feed + 1);
  return head;
}
