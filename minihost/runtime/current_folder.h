// The process's current folder, asked of the system once per call of an external function: a
// module that makes a path absolute (_wfullpath) and then reads the drawing at it asks for the
// current folder twice, and between the two nothing changes it: the stand-in runs its calls on
// one thread and never changes the current folder itself.
#pragma once

#include <string>

namespace minihost {

// The current folder as getcwd gives it (resolved, without a closing '/' but for the root), or
// "" when the system cannot tell. Within a CurrentFolderScope the first answer found is kept
// and given again; outside one, the system is asked each time.
std::string currentFolder();

// While one lives (they nest), the current folder is taken to stay as it is. Held around each
// call of an external function.
class CurrentFolderScope {
  public:
    CurrentFolderScope();
    ~CurrentFolderScope();
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;
};

} // namespace minihost
