#pragma once
#include "platform/Dialogs.h"

namespace platform {

// Message boxes and file dialogs as Qt windows, owned by the active window.
class TQtDialogs : public TDialogs {
public:
  TMsgResult MessageBox(const std::string &text, const std::string &caption, TMsgIcon icon,
                        TMsgButtons buttons) override;
  std::vector<std::string> OpenFiles(const TOpenFileRequest &request) override;
  std::string SelectFolder(const std::string &title, const std::string &initialFolder) override;
  bool Countdown(const std::function<std::string(int)> &text, int seconds) override;
};

} // namespace platform
