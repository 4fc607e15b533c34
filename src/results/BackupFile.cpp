// The .reg file that puts a set of keys back as they were.
#include "results/BackupFile.h"

#include "results/RegFile.h"

namespace velquist {
namespace {

bool OneLine(const std::wstring& text) {
    return text.find_first_of(std::wstring_view(L"\r\n\0", 3)) == std::wstring::npos;
}

}  // namespace

bool BackupText(const std::vector<SavedTree>& trees, const std::wstring& about, std::wstring& text) {
    text = L"Windows Registry Editor Version 5.00\r\n\r\n; " + about + L"\r\n";
    for (const SavedTree& tree : trees) {
        for (const registry::TreeKey& key : tree.keys) {
            const std::wstring name = key.path.empty() ? tree.name : tree.name + L"\\" + key.path;
            if (!OneLine(name)) return false;
            text += L"\r\n[" + name + L"]\r\n";
            for (const capture::Value& value : key.values) {
                if (!OneLine(value.name)) return false;
                text += ValueLine(value) + L"\r\n";
            }
        }
    }
    text += L"\r\n";
    return true;
}

}  // namespace velquist
