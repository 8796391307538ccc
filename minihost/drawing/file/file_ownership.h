// Giving a new file the owner, group, mode and extended attributes (ACLs among them) of the file
// it replaces, as far as the process may, never granting more than the old file did. Part of
// the replace step (file_replace.h); every call goes through the file layer (file_faults.h).
#pragma once

#include <sys/stat.h>

#include "host/status_codes.h"

namespace minihost {

// Gives `to` what `from` (whose stat is `old`) has. eFileSystemErr when a call fails for
// another reason than a refusal.
Acad::ErrorStatus copyOwnership(int from, const struct stat& old, int to);

} // namespace minihost
