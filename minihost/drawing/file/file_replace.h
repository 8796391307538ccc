// Replacing a file where other programs and people share it: the step of every save that does
// not depend on the drawing's format. The format's code only writes the new content to a
// descriptor; this step decides which file that content replaces, whether the process may,
// whether the file is still the one the drawing was read from, and makes the new file take its
// place whole, with the old one's owner, permissions and extended attributes, or not at all.
// See docs/drawing-file.md, "Saving safely".
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/file/owned_fd.h"

namespace minihost {

// A file as it was when a drawing was read from it (or last saved to it): enough to tell later
// whether the file at its path is still that file, unchanged, and whether a path still leads to
// it. Copies share the folder held open.
struct FileIdentity {
    bool known = false;
    std::string path; // physical: folders resolved, a final symbolic link followed
    // The absolute spellings of the path it was read from or saved to ("." and doubled
    // slashes taken out, nothing resolved), and the one with the folders resolved: a save to
    // any of them must reach this very file.
    std::vector<std::string> names;
    std::shared_ptr<const drawing::Fd> folder; // the folder that holds it, kept open
    // That folder's identity: known when a save made the file; otherwise each save takes it
    // from `folder` (a read does not ask), which names the same folder while it is open.
    bool folderIdentified = false;
    dev_t folderDevice = 0;
    ino_t folderInode = 0;
    std::string name; // its name in that folder
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    mode_t mode = 0; // its type and permissions
    struct timespec modified = {};
    struct timespec changed = {}; // the change time: any write, even one that restores mtime
};

// Opens the file at `path` for reading as a later save finds it: the folder that holds it (a
// final symbolic link followed, as the system opens files) is opened and kept in `identity`,
// and the file is opened in that folder without following a link. On eOk, `fd` is the file
// (the caller closes it) and `identity` describes it; otherwise nothing stays open.
Acad::ErrorStatus openIdentified(const std::string& path, int& fd, FileIdentity& identity);

// The folder (physical, symbolic links resolved) and the name that a save to `path` writes:
// a final symbolic link is followed, so the file it points to is replaced and the link kept.
Acad::ErrorStatus resolveSaveTarget(const std::string& path, std::string& folder,
                                    std::string& name);

struct ReplaceRequest {
    std::string path;        // where to save, as the system's bytes
    bool keepBackup = false; // keep the replaced file as <name>.bak beside it
    // The file the new content derives from and an open descriptor of it (the writer copies
    // from it), or nullptr and -1 for a drawing that has no file. A failed replace that changed
    // a known file's change time (its own links) or put a copy in its place updates these.
    FileIdentity* source = nullptr;
    int sourceFd = -1;
    // The files the drawing last knew at other paths (saved to them), or nullptr.
    std::vector<FileIdentity>* elsewhere = nullptr;
    // When given: called once the file at the path is locked and has passed the identity
    // checks, before `write`, with the descriptor the new content is copied from; checks that
    // the bytes the new content relies on are still those that were read, and may settle from
    // the file as it is now what `write` copies (a DXF save finds the preview there). Any
    // status but eOk fails the save with it (eFileSharingViolation for a change).
    std::function<Acad::ErrorStatus(int sourceFd)> unchanged;
    // Writes the whole new content to `fd` from its current position. May be called a second
    // time, on a new file, where the file system refuses to name the first one.
    std::function<Acad::ErrorStatus(int fd)> write;
    // When given: checks the new file `fd` once it is flushed, before it takes the path; any
    // status but eOk fails the save with that status.
    std::function<Acad::ErrorStatus(int fd)> verify;
};

struct ReplaceResult {
    int fd = -1;           // the new file, open for reading and writing; the caller closes it
    FileIdentity identity; // the new file as it stands at the path
};

// Replaces the file at `request.path` with what `request.write` writes, or creates it. On eOk
// the path holds the new file completely and `result` describes it. On any other status the
// path, the backup and the folder are as they were:
//   eFileAccessErr          the process may not write the file or its folder, it is no
//                           regular file, or the folder would not let the replace finish
//                           (sticky and the file another user's, append-only, immutable)
//   eFileNotFound           the folder does not exist
//   eFileSharingViolation   the file changed since the drawing was read from it, the path
//                           now leads to another file than the one read, or another save
//                           holds it for longer than a save takes
//   eFileWriteError, eFileSystemErr, eOutOfMemory, or what `write` returned.
Acad::ErrorStatus replaceFile(const ReplaceRequest& request, ReplaceResult& result);

} // namespace minihost
