// The folders a runner's loads search after a component's own, and the order they are added in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pe/DllSearch.h"

namespace {

using Folders = std::vector<std::string>;

struct SearchCase {
    const char* what;
    const char* path;
    const char* own;
    Folders expected;  // after the system folder, the 16-bit system folder and the Windows folder
};

TEST(LibraryFolders, KeepsPathOrderAndDropsWhatIsNeverSearched) {
    const SearchCase cases[] = {
        {"PATH in its order after the Windows folders", "C:\\Tools;D:\\Bin", "C:\\Velquist", {"C:\\Tools", "D:\\Bin"}},
        {"the programs' own folder, however it is written", "C:\\Tools;c:\\velquist\\;\"C:\\VELQUIST\"", "C:\\Velquist",
         {"C:\\Tools"}},
        {"relative and empty entries, which name whatever folder is current", ".;bin;;C:\\Tools;\\Rooted", "C:\\Velquist",
         {"C:\\Tools"}},
        {"a folder named twice, and the system folders named again", "C:\\Tools;C:\\TOOLS\\;C:\\Windows\\system32",
         "C:\\Velquist", {"C:\\Tools"}},
        {"quotes and trailing separators; a drive root keeps its separator", "\"C:\\Program Files\\X\\\";D:\\", "",
         {"C:\\Program Files\\X", "D:\\"}},
        {"UNC folders are absolute", "\\\\server\\share\\bin", "C:\\Velquist", {"\\\\server\\share\\bin"}},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.what);
        Folders expected{"C:\\Windows\\system32", "C:\\Windows\\System", "C:\\Windows"};
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(runner::LibraryFolders("C:\\Windows\\system32", "C:\\Windows", c.path, c.own), expected);
    }
}

TEST(LibraryFolders, ThePathSearchedFirstIsFirstReadEitherWay) {
    const Folders folders{"A", "B", "C"};
    const Folders order = runner::AddOrder(folders);
    // Searched in the order added, or the last added first: A, B, C come first either way.
    EXPECT_EQ(Folders(order.begin(), order.begin() + 3), folders);
    EXPECT_EQ(Folders(order.rbegin(), order.rbegin() + 3), folders);
}

}  // namespace
