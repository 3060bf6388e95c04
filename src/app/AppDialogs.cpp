#include "app/AppDialogs.h"

#include "platform/ScriptedDialogs.h"
#include "platform/qt/QtDialogs.h"

#include <cstdlib>
#include <fstream>

namespace {

const char *IconName(platform::TMsgIcon icon) {
  switch (icon) {
  case platform::TMsgIcon::Warning:
    return "Warning";
  case platform::TMsgIcon::Error:
    return "Error";
  case platform::TMsgIcon::Question:
    return "Question";
  default:
    return "Information";
  }
}

class TMessageFileDialogs : public platform::TScriptedDialogs {
public:
  explicit TMessageFileDialogs(std::string path) : FPath(std::move(path)) {}
  platform::TMsgResult MessageBox(const std::string &text, const std::string &caption,
                                  platform::TMsgIcon icon, platform::TMsgButtons buttons) override {
    std::ofstream(FPath, std::ios::app) << IconName(icon) << '\t' << caption << '\t' << text << '\n';
    return TScriptedDialogs::MessageBox(text, caption, icon, buttons);
  }

private:
  std::string FPath;
};

} // namespace

void InstallDialogs() {
  if (const char *file = std::getenv("TVL_SCRIPTED_DIALOGS"); file && *file)
    platform::SetDialogs(std::make_unique<TMessageFileDialogs>(file));
  else
    platform::SetDialogs(std::make_unique<platform::TQtDialogs>());
}
