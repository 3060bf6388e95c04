#pragma once

// Installs the dialogs of the program: Qt windows, or, when the environment variable
// TVL_SCRIPTED_DIALOGS names a file, scripted answers that append every message to that file as
// "icon<TAB>caption<TAB>text" lines. Tests of the whole program read that file instead of a window.
void InstallDialogs();
