#pragma once
// Message boxes and file dialogs. The program installs windows; tests install scripted answers.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class TMsgIcon { Information, Warning, Error, Question };
enum class TMsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class TMsgResult { Ok, Cancel, Yes, No };

struct TFileFilter {
  std::string Caption;  // "Video Files"
  std::string Patterns; // "*.AVI;*.MP4": matched without regard to case
  std::string Examples; // "*.mp4 *.mkv": the ones the dialog names; empty: none
};

// The dialog's text for a filter, in the "name (patterns)" form file dialogs read: the caption with
// its examples ("Video Files (*.mp4 *.mkv …)"), then every pattern once, each letter either case
// ("*.[mM][pP]4"), since some dialogs match case-sensitively. Dialogs that hide the pattern part show
// only the first part.
std::string FilterText(const TFileFilter &filter);

struct TOpenFileRequest {
  std::string Title;
  std::string InitialFolder;
  std::vector<TFileFilter> Filters;
  int FilterIndex = 0;
  bool Multiple = true;
};

class TDialogs {
public:
  virtual ~TDialogs() = default;
  virtual TMsgResult MessageBox(const std::string &text, const std::string &caption, TMsgIcon icon,
                                TMsgButtons buttons) = 0;
  // The chosen files, empty when the user cancels.
  virtual std::vector<std::string> OpenFiles(const TOpenFileRequest &request) = 0;
  // The chosen folder, empty when the user cancels.
  virtual std::string SelectFolder(const std::string &title, const std::string &initialFolder) = 0;
  // Counts down from seconds, showing text(seconds left), with a Cancel button; true when the
  // time ran out, false when the user cancelled. Where nobody can answer it cancels.
  virtual bool Countdown(const std::function<std::string(int)> &text, int seconds);
};

TDialogs &Dialogs();
void SetDialogs(std::unique_ptr<TDialogs> dialogs);

// The application title every message box takes as its caption.
inline constexpr const char *ApplicationTitle = "Tavrelle Video Converter";

// A message box captioned with the application title.
TMsgResult ShowMessage(const std::string &text, TMsgIcon icon = TMsgIcon::Information,
                       TMsgButtons buttons = TMsgButtons::Ok);

} // namespace platform
