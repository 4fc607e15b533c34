// LoadDiagnosis: which import made a component's load fail, found by following its import tables.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "pe/LoadDetail.h"

namespace runner {

// The machine this process runs as: the loader here takes only libraries built for it.
#if defined(_M_X64) || defined(__x86_64__)
constexpr std::uint16_t kOwnMachine = 0x8664;
#else
constexpr std::uint16_t kOwnMachine = 0x014C;
#endif

// How many levels of imports are followed: the component's own are the first.
constexpr int kDiagnosisLevels = 4;

// Follows the imports of the library at `fullPath` (its dependencies, theirs, ...) and names the first
// one that nothing satisfies, breadth first: a library that the load's search does not find, or a
// function that a library found does not export. A failure with ERROR_PROC_NOT_FOUND looks for a
// missing function first and any other for a missing library first; the other kind answers only when
// the first is not found. Empty when nothing was found. Libraries are searched for as the runner's
// load does (DllSearch.h): the component's own folder, the system folder, the 16-bit system folder,
// the Windows folder, then PATH, never the runner's own folder or the current one; API sets, what
// this process has loaded and the KnownDLLs are the loader's own and are not searched for. Must run
// in a process of the component's bitness, whose system folder and loaded libraries are the ones its
// load sees.
LoadDetail FindUnmetImport(const std::string& fullPath, DWORD loadError) noexcept;

}  // namespace runner
