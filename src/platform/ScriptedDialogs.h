#pragma once
#include "platform/Dialogs.h"

#include <deque>
#include <mutex>

namespace platform {

// Records every dialog and answers from queues; with an empty queue it cancels (or says No).
class TScriptedDialogs : public TDialogs {
public:
  struct TShownMessage {
    std::string Text, Caption;
    TMsgIcon Icon;
    TMsgButtons Buttons;
  };

  TMsgResult MessageBox(const std::string &text, const std::string &caption, TMsgIcon icon,
                        TMsgButtons buttons) override;
  std::vector<std::string> OpenFiles(const TOpenFileRequest &request) override;
  std::string SelectFolder(const std::string &title, const std::string &initialFolder) override;
  bool Countdown(const std::function<std::string(int)> &text, int seconds) override;

  void QueueAnswer(TMsgResult answer);
  void QueueFiles(std::vector<std::string> files);
  void QueueFolder(std::string folder);
  // True: the next countdown runs out; false: the user cancels it.
  void QueueCountdown(bool runsOut);

  std::vector<TShownMessage> Messages() const;
  std::vector<TOpenFileRequest> FileRequests() const;
  // The start folder of every folder dialog.
  std::vector<std::string> FolderRequests() const;
  // The first text of every countdown.
  std::vector<std::string> Countdowns() const;

private:
  mutable std::mutex FLock;
  std::deque<TMsgResult> FAnswers;
  std::deque<std::vector<std::string>> FFiles;
  std::deque<std::string> FFolders;
  std::deque<bool> FCountdownAnswers;
  std::vector<std::string> FFolderRequests, FCountdowns;
  std::vector<TShownMessage> FMessages;
  std::vector<TOpenFileRequest> FFileRequests;
};

} // namespace platform
