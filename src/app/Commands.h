// The register and un-register runs started by the main window's two action buttons.
#pragma once

namespace velquist {

class velquistform;

// One run: clears the list, checks the single-file input or walks the directory, writes the lines
// and the closing line. registerFlag true registers, false unregisters.
void RunCommand(velquistform& form, bool registerFlag);

}  // namespace velquist
