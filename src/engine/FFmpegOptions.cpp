#include "engine/FFmpegOptions.h"

void ResetInputOptions(TInputOptions &options) { options = TInputOptions{}; }

void ResetOutputOptions(TOutputOptions &options) { options = TOutputOptions{}; }
