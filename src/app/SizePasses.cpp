// Files with a target size are encoded in two passes: a first run writes their statistics, the
// run the user asked for then encodes with them.
#include "app/TvlMainFrm.h"

#include "app/OutputBar.h"
#include "convert/ConvertFrm.h"
#include "convert/ConvertUnt.h"
#include "platform/Dialogs.h"
#include "profiles/tvlIniUnt.h"

#include <QScopeGuard>

#include <filesystem>
#include <unistd.h>

namespace {

std::filesystem::path PassFolder() {
  std::error_code ec;
  return std::filesystem::temp_directory_path(ec) / ("tavrelle-passes-" + std::to_string(getpid()));
}

} // namespace

bool TTvlMainForm::FirstPassForSizes(int profile, const std::function<bool(const TInputFile &)> &include) {
  TvlConvert->SizePass = 0;
  const auto sized = [&include](const TInputFile &file) { return file.TargetBytes > 0 && (!include || include(file)); };
  bool any = false;
  for (int p = 0; p < TvlConvert->Files.Count(); ++p)
    any = any || sized(TvlConvert->Files[p]);
  if (!any)
    return true;
  // The first pass's outputs go where nobody looks, and go with its statistics after the run.
  const std::filesystem::path scratch = PassFolder();
  std::error_code ec;
  std::filesystem::create_directories(scratch, ec);
  TvlConvert->PassLogPrefix = (scratch / "stats-").string();
  TvlConvert->SizePass = 1;
  bool built = false;
  {
    FRun = TRun::Building;
    setEnabled(false);
    const auto enable = qScopeGuard([this] { setEnabled(true); });
    built = TvlConvert->BuildRun(profile, scratch.string(), sized);
  }
  if (!built) {
    if (!TvlConvert->BuildError().empty())
      platform::ShowMessage(TvlConvert->BuildError(), platform::TMsgIcon::Warning);
    EndSizePasses();
    return false;
  }
  bool canceled = false;
  {
    TConvertForm progress(*TvlConvert, scratch.string(), this);
    progress.QuietEnd = true;
    progress.setWindowTitle("First pass for the target sizes");
    FProgress = &progress;
    FRun = TRun::Converting;
    const auto gone = qScopeGuard([this] { FProgress = nullptr; });
    progress.RunConversion(TvlConvert->Files.Count(), IniOptions.GetFormat(profile).Ext);
    canceled = progress.Canceled || FCloseAfterRun;
  }
  TvlConvert->EndRun();
  TvlConvert->SizePass = 2;
  if (canceled)
    EndSizePasses();
  return !canceled;
}

void TTvlMainForm::EndSizePasses() {
  TvlConvert->SizePass = 0;
  std::error_code ec;
  std::filesystem::remove_all(PassFolder(), ec);
}
