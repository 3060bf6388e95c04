// What the progress window does when the run is over: the completion message, the desktop's notice
// when the user looks elsewhere, the power-off and the output folder.
#include "convert/ConvertFrm.h"

#include <QApplication>
#include <QCheckBox>
#include <QTimer>

#include "convert/ConvertUnt.h"
#include "platform/Dialogs.h"
#include "platform/Notifier.h"
#include "platform/Power.h"
#include "platform/Shell.h"

namespace {

// How many queued files have the status.
int FilesWith(const TTvlConvert &driver, int32_t status) {
  int count = 0;
  for (int p = 0; p < driver.Files.Count(); ++p)
    count += driver.Files[p].Status == status;
  return count;
}

} // namespace

bool TConvertForm::ShutdownWindows() {
  const auto text = [](int seconds) {
    return "The computer will power off in " + std::to_string(seconds) + " seconds.";
  };
  if (!platform::Dialogs().Countdown(text, PowerOffCountdownSeconds))
    return false;
  std::string reason;
  if (platform::Power().PowerOff(reason))
    return true;
  platform::ShowMessage("The computer was not powered off: " + reason, platform::TMsgIcon::Warning);
  return false;
}

void TConvertForm::ConvertDone() {
  {
    // Orders what follows after every end report of the run.
    std::lock_guard guard(FLock);
  }
  FTimeTick->stop();
  // Before a power-off: our own lock would hold it up.
  platform::Power().ReleaseSleep();
  if (QuietEnd && !Canceled) {
    hide();
    FClosing = true;
    done(QDialog::Accepted);
    return;
  }
  NotifyWhenInactive();
  hide();
  if (Canceled || !chkShutdown->isChecked())
    platform::ShowMessage(CompletionText(), platform::TMsgIcon::Information);
  if (!Canceled) {
    if (chkShutdown->isChecked())
      ShutdownWindows();
    if (chkOpenOutput->isChecked())
      platform::Shell().Open(FOutputFolder);
  }
  FClosing = true;
  done(QDialog::Accepted);
}

std::string TConvertForm::CompletionText() const {
  std::string text = Canceled ? "You have cancel current conversion." : "Convert Completed.";
  // The cancelled file's output is closed properly but cut short: the user is told it is partial.
  for (int p = 0; Canceled && p < FDriver.Files.Count(); ++p)
    if (const std::string partial = TTvlConvert::PartialOutput(FDriver.Files[p]); !partial.empty())
      text += "\nThe output is partial: " + partial;
  const int failed = FilesWith(FDriver, csFailed), cancelled = FilesWith(FDriver, csCanceled);
  // Success is not claimed for files that did not make it.
  if (failed > 0 || cancelled > 0)
    text += "\n\n" + std::to_string(failed) + " file(s) failed, " + std::to_string(cancelled) +
            " file(s) cancelled. The Status column of the list tells why.";
  return text;
}

void TConvertForm::NotifyWhenInactive() {
  if (QApplication::activeWindow())
    return;
  // Files that could not be set up count as failed too.
  const int succeeded = FilesWith(FDriver, csSuccess), failed = FilesWith(FDriver, csFailed);
  platform::Notifier().Notify(platform::ApplicationTitle,
                              std::string(Canceled ? "Conversion canceled: " : "Conversion finished: ") +
                                  std::to_string(succeeded) + " succeeded, " + std::to_string(failed) + " failed.");
}
