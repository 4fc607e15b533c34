// The runner's class test: a component's classes made and its type libraries loaded as a client
// would, one reply per item as each ends.
#pragma once

#include <windows.h>

#include <string>

namespace runner {

// Serves a Test request whose text (path, NUL, items) was read from the pipe: makes each item on a
// thread of its apartment and writes its Made reply to the pipe as it ends; an exception nobody
// handles while an item is made is written as ItemCrashed before the runner ends. A text that is not
// a test's gets one BadRequest. False when the pipe failed (the program is gone) or the request was
// refused.
bool ServeTest(HANDLE pipe, const std::string& text) noexcept;

}  // namespace runner
