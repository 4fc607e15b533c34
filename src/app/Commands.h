// The register and un-register runs started by the main window's two action buttons.
#pragma once

#include <windows.h>

#include "results/ResultList.h"

namespace velquist {

class velquistform;

// One run: clears the list, checks the single-file input or walks the directory, writes the lines
// and the closing line. registerFlag true registers, false unregisters.
void RunCommand(velquistform& form, bool registerFlag);

// The controls a run reads, read afresh at each use, and the window that owns its message boxes.
struct RunInputs {
    HWND owner = nullptr;
    HWND option1 = nullptr;  // selected: single-file mode
    HWND text1 = nullptr;    // the single file
    HWND text2 = nullptr;    // the directory
    HWND check1 = nullptr;   // include sub-directories
};

// The run itself, on the given controls and list.
void RunCommand(const RunInputs& inputs, ResultList& list, bool registerFlag);

// The existence lookups: an ordinary file (not a folder, hidden or system file), and a folder.
// Neither matches wildcards: the text must name the file or folder itself.
bool IsOrdinaryFile(const std::string& path);
bool IsFolder(const std::string& path);

}  // namespace velquist
