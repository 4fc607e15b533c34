// Resource identifiers shared by the program, its windows and the GUI tests.
#pragma once

#define IDI_PROGRAM 101         // the magenta block cube (32 x 32 and 16 x 16)
#define IDI_PROGRAM_SHADOW 102  // the same cube with a grey shadow (the About window's icon)
#define IDI_CHECK 103           // green check mark, 16 x 16
#define IDI_CROSS 104           // red X, 16 x 16
#define IDI_CAUTION 105         // amber triangle with an exclamation mark, 16 x 16
#define IDR_ACCELERATORS 201    // the main window's shortcuts (F1, Ctrl+S)

// Main window menu commands (also the targets of the accelerator table).
#define IDM_EXIT 301      // File > Exit
#define IDM_CONTENTS 302  // Help > Contents (F1)
#define IDM_ABOUT 303     // Help > About
#define IDM_SAVE 304      // File > Save results... (Ctrl+S)
#define IDM_PERUSER 305   // File > Register for current user only (checkable)
#define IDM_RESTART 306   // File > Restart as administrator
#define IDM_FORCE 323     // File > Unregister copies registered elsewhere (checkable)
#define IDM_UNDO 324      // File > Undo last run (Ctrl+Z, where no text box has the focus)
#define IDM_SAVEUNDO 325  // File > Save undo file...
#define IDM_DLLINSTALL 327  // Tools > Call DllInstall...
#define IDM_TYPELIBS 328    // File > Include type libraries (checkable)
#define IDM_PUTBACK 326   // no menu item: the undo handed to a restart as administrator (/putback:FILE /run)
#define IDM_CHECK 307     // Tools > Check registration (Ctrl+K)
#define IDM_EXPORT 308    // Tools > Export registration... (Ctrl+E)
#define IDM_REMOVAL 309   // Tools > Export removal...
#define IDM_TEST 310      // Tools > Test classes (Ctrl+T)
#define IDM_MANIFEST 320  // Tools > Export manifest...
#define IDM_SCAN 321      // Tools > Find broken registrations (Ctrl+B)
#define IDM_CLEAN 322     // Tools > Remove broken registrations...
// The result list's context menu.
#define IDM_COPY 311
#define IDM_SELECTALL 312
