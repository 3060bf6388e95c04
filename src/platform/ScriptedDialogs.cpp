#include "platform/ScriptedDialogs.h"

namespace platform {

TMsgResult TScriptedDialogs::MessageBox(const std::string &text, const std::string &caption, TMsgIcon icon,
                                        TMsgButtons buttons) {
  std::lock_guard guard(FLock);
  FMessages.push_back({text, caption, icon, buttons});
  if (!FAnswers.empty()) {
    const auto answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
  }
  switch (buttons) {
  case TMsgButtons::Ok:
    return TMsgResult::Ok;
  case TMsgButtons::YesNo:
    return TMsgResult::No;
  default:
    return TMsgResult::Cancel;
  }
}

std::vector<std::string> TScriptedDialogs::OpenFiles(const TOpenFileRequest &request) {
  std::lock_guard guard(FLock);
  FFileRequests.push_back(request);
  if (FFiles.empty())
    return {};
  auto files = std::move(FFiles.front());
  FFiles.pop_front();
  return files;
}

std::string TScriptedDialogs::SelectFolder(const std::string &, const std::string &initialFolder) {
  std::lock_guard guard(FLock);
  FFolderRequests.push_back(initialFolder);
  if (FFolders.empty())
    return {};
  auto folder = std::move(FFolders.front());
  FFolders.pop_front();
  return folder;
}

bool TScriptedDialogs::Countdown(const std::function<std::string(int)> &text, int seconds) {
  std::lock_guard guard(FLock);
  FCountdowns.push_back(text(seconds));
  if (FCountdownAnswers.empty())
    return false;
  const bool runsOut = FCountdownAnswers.front();
  FCountdownAnswers.pop_front();
  return runsOut;
}

void TScriptedDialogs::QueueCountdown(bool runsOut) {
  std::lock_guard guard(FLock);
  FCountdownAnswers.push_back(runsOut);
}

std::vector<std::string> TScriptedDialogs::FolderRequests() const {
  std::lock_guard guard(FLock);
  return FFolderRequests;
}

std::vector<std::string> TScriptedDialogs::Countdowns() const {
  std::lock_guard guard(FLock);
  return FCountdowns;
}

void TScriptedDialogs::QueueAnswer(TMsgResult answer) {
  std::lock_guard guard(FLock);
  FAnswers.push_back(answer);
}

void TScriptedDialogs::QueueFiles(std::vector<std::string> files) {
  std::lock_guard guard(FLock);
  FFiles.push_back(std::move(files));
}

void TScriptedDialogs::QueueFolder(std::string folder) {
  std::lock_guard guard(FLock);
  FFolders.push_back(std::move(folder));
}

std::vector<TScriptedDialogs::TShownMessage> TScriptedDialogs::Messages() const {
  std::lock_guard guard(FLock);
  return FMessages;
}

std::vector<TOpenFileRequest> TScriptedDialogs::FileRequests() const {
  std::lock_guard guard(FLock);
  return FFileRequests;
}

} // namespace platform
