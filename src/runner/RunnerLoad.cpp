// The runner's loads of components.
#include "runner/RunnerLoad.h"

#include "pe/DllSearch.h"
#include "pe/LoadDiagnosis.h"
#include "win32/Paths.h"
#include "win32/Text.h"

namespace runner {

Response AnswerOf(Answer answer, DWORD code) {
    Response response;
    response.reply.answer = answer;
    response.reply.code = code;
    return response;
}

// The runner is the place to look: its system folder and loaded libraries are those of the
// component's bitness.
Response LoadFailure(const std::string& path, DWORD error) {
    if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;  // a failed load always carries a code
    Response response = AnswerOf(Answer::LoadFailed, error);
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND) {
        response.detail = EncodeDetail(FindUnmetImport(path, error));
        response.reply.detailBytes = static_cast<std::uint32_t>(response.detail.size());
    }
    return response;
}

// A trailing '.' keeps the loader from adding ".dll" to a bare name.
win32::unique_hmodule LoadComponent(const std::string& fullPath, bool restricted) {
    std::string loadPath = fullPath;
    const auto nameStart = loadPath.find_last_of("\\/");
    if (loadPath.find('.', nameStart == std::string::npos ? 0 : nameStart + 1) == std::string::npos) loadPath += '.';
    if (!restricted) {
        return win32::unique_hmodule(::LoadLibraryExA(loadPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    }
    win32::unique_hmodule library(::LoadLibraryExA(loadPath.c_str(), nullptr, LoadComponentFlags()));
    if (library || ::GetLastError() != ERROR_INVALID_PARAMETER) return library;
    // Wine takes the component's own folder only from a drive path, not a UNC one: name that folder for
    // this load alone (Wine searches the folder added last first).
    const DLL_DIRECTORY_COOKIE cookie = ::AddDllDirectory(win32::Wide(win32::FolderOf(fullPath)).c_str());
    library.reset(
        ::LoadLibraryExA(loadPath.c_str(), nullptr, LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32));
    const DWORD error = ::GetLastError();
    if (cookie != nullptr) ::RemoveDllDirectory(cookie);
    ::SetLastError(error);
    return library;
}

}  // namespace runner
