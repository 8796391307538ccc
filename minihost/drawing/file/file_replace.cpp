// The format-independent replace step of a save. Its order matters:
//   1. resolve the target and open its folder; when the path names a file the drawing knows
//      (read from it or saved to it), it must still lead to that file's folder and name;
//      open the file at the path for writing (the permission check);
//   2. lock it, check that it is still the file expected, unchanged, and that the folder lets
//      the replace finish, all before any name is made;
//   3. write the new content to an unnamed file in the same folder, give it the old file's
//      owner, group, mode and extended attributes, flush it;
//   4. link it in: directly when there was no file, else under a hidden name renamed over the
//      path while the old file keeps a second name (or, without links, a copy stands in) until
//      the new one holds the path.
// Every call works relative to the folder opened in step 1 and follows no link. Both files
// stay locked until the end, so a save that locks the file now at the path knows that no other
// save is half done on it, and may remove names a killed save left.
#include "minihost/drawing/file/file_replace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "minihost/drawing/file/file_copy.h"
#include "minihost/drawing/file/file_faults.h"
#include "minihost/drawing/file/file_ownership.h"
#include "minihost/drawing/file/save_names.h"
#include "minihost/runtime/current_folder.h"

namespace minihost {
namespace {

// How long a save waits for another save of the same file to finish.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr int kMaxLinkHops = 40; // as the kernel allows

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameFile(const struct stat& st, const FileIdentity& id) {
    return st.st_dev == id.device && st.st_ino == id.inode;
}

// Still the same content: nobody wrote to the file (size and modification time).
bool sameContent(const struct stat& st, const FileIdentity& id) {
    return st.st_size == id.size && sameTime(st.st_mtim, id.modified);
}

// Nothing at all was done to the file: its change time also tells a write that put the
// modification time back (and a change of its names or permissions).
bool untouched(const struct stat& st, const FileIdentity& id) {
    return sameContent(st, id) && sameTime(st.st_ctim, id.changed);
}

void describe(const struct stat& st, FileIdentity& id) {
    id.known = true;
    id.mode = st.st_mode;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
}

Acad::ErrorStatus accessStatus(int err) {
    if (err == ENOMEM)
        return Acad::eOutOfMemory;
    if (err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG || err == ELOOP)
        return Acad::eFileNotFound;
    return Acad::eFileAccessErr;
}

// A file system that makes no hard links (FAT, exFAT, many network shares) refuses so.
bool linksRefused(int err) {
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == ENOSYS;
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// `path` made absolute against the current folder, with "." and doubled slashes taken out and
// nothing resolved: how a path is spelled, whatever the file system holds now.
std::string spelling(const std::string& path) {
    std::string whole = path;
    if (path.empty() || path[0] != '/') {
        whole = currentFolder() + "/" + path;
    }
    std::string out;
    for (std::size_t at = 0; at <= whole.size();) {
        std::size_t slash = std::min(whole.find('/', at), whole.size());
        std::string part = whole.substr(at, slash - at);
        if (!part.empty() && part != ".")
            out += "/" + part;
        at = slash + 1;
    }
    return out.empty() ? "/" : out;
}

// `path` with the folders resolved and the last name as written, as the host's absolute paths
// are made; "" when the folder cannot be resolved.
std::string resolvedSpelling(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string parent = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    std::unique_ptr<char, void (*)(void*)> real(::realpath(parent.c_str(), nullptr), std::free);
    return real ? joined(real.get(), path.substr(slash == std::string::npos ? 0 : slash + 1))
                : std::string();
}

// Fills in the identity of the folder that holds `known` from the folder held open, unless a
// save knew it; false when the system cannot tell it. Each save asks again, so that a save
// makes the same calls whatever the saves before it did.
bool identifyFolder(FileIdentity& known) {
    struct stat st;
    if (known.folderIdentified || !known.folder || known.folder->get() < 0)
        return true;
    if (fsys::fstat(known.folder->get(), &st) != 0)
        return false;
    known.folderDevice = st.st_dev;
    known.folderInode = st.st_ino;
    return true;
}

// Whether the process may rename and remove other users' files in a sticky folder.
bool mayOverrideOwners() {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return ::geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

// Takes the lock on `fd`, waiting for another save to finish.
Acad::ErrorStatus lock(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    for (;;) {
        if (fsys::lockFile(fd) == 0)
            return Acad::eOk;
        if (errno == ENOLCK || errno == EOPNOTSUPP)
            return Acad::eOk; // a file system without locks: the identity check still runs
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return Acad::eFileSystemErr;
        if (std::chrono::steady_clock::now() >= deadline)
            return Acad::eFileSharingViolation;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// One replace, step by step (see the top of this file). On failure it removes every name it
// made, except where putting the old drawing back failed: then that keeps its hidden name.
class Replacement {
  public:
    Replacement(const ReplaceRequest& request, ReplaceResult& result)
        : mRequest(request), mResult(result) {}
    ~Replacement() { dropNames(); }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    Acad::ErrorStatus run();

  private:
    Acad::ErrorStatus openTarget();
    Acad::ErrorStatus openCurrent();
    Acad::ErrorStatus checkFiles();
    Acad::ErrorStatus checkFolder();
    void removeLeftovers();
    int createHidden(const char* what, mode_t mode, std::string& name);
    Acad::ErrorStatus makeNewFile(bool named);
    Acad::ErrorStatus fillNewFile();
    Acad::ErrorStatus linkNew();
    Acad::ErrorStatus placeNamed();
    Acad::ErrorStatus replaceOld();
    Acad::ErrorStatus keepOld();
    Acad::ErrorStatus copyOld();
    Acad::ErrorStatus settle();
    void prepareIdentity();
    bool identifyNew();
    Acad::ErrorStatus rollBack();
    void standForCopy();
    void noteOwnChanges();
    void dropNames();

    template <typename Visit> void forEachKnown(Visit visit) {
        if (mRequest.source && mRequest.source->known)
            visit(*mRequest.source);
        if (mRequest.elsewhere)
            for (FileIdentity& known : *mRequest.elsewhere)
                if (known.known)
                    visit(known);
    }
    int dir() const { return mDir->get(); }

    const ReplaceRequest& mRequest;
    ReplaceResult& mResult;
    std::string mFolderPath, mName;
    std::unique_ptr<SaveNames> mNames;
    std::shared_ptr<drawing::Fd> mDir;
    struct stat mFolder = {};
    drawing::Fd mCurrent; // the file at the path, or -1
    struct stat mOld = {};
    FileIdentity* mNamed = nullptr;    // the known file the path names
    FileIdentity* mExpected = nullptr; // the known file the path should hold
    bool mAppendOnly = false;
    drawing::Fd mOut;         // the new file
    std::string mTemp;        // its hidden name while it has one
    std::string mPrevious;    // the old file's second name, or its copy's name
    drawing::Fd mCopy;        // that copy, where the file system makes no links
    bool mTouchedOld = false; // our links changed the old file's change time
};

Acad::ErrorStatus Replacement::run() {
    Acad::ErrorStatus status = openTarget();
    if (status == Acad::eOk)
        status = openCurrent();
    if (status == Acad::eOk)
        status = checkFiles();
    if (status == Acad::eOk)
        status = checkFolder();
    if (status != Acad::eOk)
        return status;
    if (mCurrent.get() >= 0)
        removeLeftovers();
    prepareIdentity();
    status = makeNewFile(false);
    if (status == Acad::eOk)
        status = mCurrent.get() < 0 ? linkNew() : replaceOld();
    if (status != Acad::eOk) {
        dropNames();
        noteOwnChanges();
        return status;
    }
    fsys::unlockFile(mOut.get());
    mResult.fd = mOut.release();
    return Acad::eOk;
}

// Step 1: the folder, and whether the path still leads where the drawing's file was.
Acad::ErrorStatus Replacement::openTarget() {
    Acad::ErrorStatus status = resolveSaveTarget(mRequest.path, mFolderPath, mName);
    if (status != Acad::eOk)
        return status;
    mDir = std::make_shared<drawing::Fd>(); // first, so that the folder never goes unowned
    mDir->reset(fsys::open(mFolderPath.c_str(), O_RDONLY | O_DIRECTORY));
    if (dir() < 0)
        return accessStatus(errno);
    if (fsys::fstat(dir(), &mFolder) != 0)
        return Acad::eFileSystemErr;
    bool identified = true;
    forEachKnown([&](FileIdentity& known) { identified = identified && identifyFolder(known); });
    if (!identified)
        return Acad::eFileSystemErr;
    // A path spelled as the drawing's file was must still reach it: the same folder (the one
    // held open since, so its number names no other) and the same name in it. A link or a
    // folder put in its place since leads elsewhere.
    const std::string wanted = spelling(mRequest.path);
    forEachKnown([&](FileIdentity& known) {
        if (!mNamed && (known.path == wanted || std::find(known.names.begin(), known.names.end(),
                                                          wanted) != known.names.end()))
            mNamed = &known;
    });
    if (mNamed && (mFolder.st_dev != mNamed->folderDevice ||
                   mFolder.st_ino != mNamed->folderInode || mName != mNamed->name))
        return Acad::eFileSharingViolation;
    // FAT and exFAT report their limit in bytes of UTF-16 text (1530): the kernel still takes
    // no name longer than NAME_MAX bytes.
    long nameMax = ::fpathconf(dir(), _PC_NAME_MAX);
    mNames.reset(new SaveNames(mName, nameMax > 0 ? std::min<long>(nameMax, NAME_MAX) : NAME_MAX));
    return Acad::eOk;
}

// The file now at the path, opened for writing: the same check of permissions that writing in
// place would make. Without the right to write it, nothing is written. Only a regular file is
// opened at all (opening a device can act on it).
Acad::ErrorStatus Replacement::openCurrent() {
    struct stat before;
    if (fsys::statAt(dir(), mName.c_str(), &before) != 0 ? errno != ENOENT
                                                         : !S_ISREG(before.st_mode))
        return Acad::eFileAccessErr;
    mCurrent.reset(fsys::openAt(dir(), mName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK));
    if (mCurrent.get() < 0)
        return errno == ENOENT ? Acad::eOk : accessStatus(errno);
    if (fsys::fstat(mCurrent.get(), &mOld) != 0)
        return Acad::eFileSystemErr;
    return S_ISREG(mOld.st_mode) ? Acad::eOk : Acad::eFileAccessErr;
}

// Step 2: under the lock, the file at the path is the one expected and unchanged, the file the
// new content is copied from is unchanged, and so are the bytes the writer relies on.
Acad::ErrorStatus Replacement::checkFiles() {
    Acad::ErrorStatus status;
    if (mCurrent.get() >= 0) {
        if ((status = lock(mCurrent.get())) != Acad::eOk)
            return status;
        struct stat named;
        if (fsys::statAt(dir(), mName.c_str(), &named) != 0)
            return Acad::eFileSystemErr;
        if (named.st_dev != mOld.st_dev || named.st_ino != mOld.st_ino)
            return Acad::eFileSharingViolation; // replaced while we opened it
    }
    const FileIdentity* source =
        mRequest.source && mRequest.source->known ? mRequest.source : nullptr;
    if (source && mRequest.sourceFd >= 0) {
        struct stat read;
        if (fsys::fstat(mRequest.sourceFd, &read) != 0)
            return Acad::eFileAccessErr;
        // Renaming it is no change to what is copied: only its content counts here, and the
        // `unchanged` check below looks at the bytes themselves.
        if (!sameContent(read, *source))
            return Acad::eFileSharingViolation; // what we would copy was rewritten
    }
    // The known file the path should hold: the one it names, else one that is there or was
    // there (reached by another spelling). Anything else there is another program's change.
    mExpected = mNamed;
    forEachKnown([&](FileIdentity& known) {
        if (!mExpected && ((mCurrent.get() >= 0 && sameFile(mOld, known)) ||
                           (mFolder.st_dev == known.folderDevice &&
                            mFolder.st_ino == known.folderInode && mName == known.name)))
            mExpected = &known;
    });
    if (mExpected && mCurrent.get() >= 0 &&
        (!sameFile(mOld, *mExpected) || !untouched(mOld, *mExpected)))
        return Acad::eFileSharingViolation;
    if (mRequest.unchanged && mRequest.sourceFd >= 0)
        return mRequest.unchanged(mRequest.sourceFd);
    return Acad::eOk;
}

// Whether the folder lets the replace finish, decided before any name is made: an immutable
// folder takes no name, an append-only one lets no name go again, and in a sticky folder only
// a file's owner (or the folder's, or a privileged process) may rename or remove it.
Acad::ErrorStatus Replacement::checkFolder() {
    int flags = 0;
    if (fsys::folderFlags(dir(), flags) != 0) {
        if (errno != ENOTTY && errno != EINVAL && errno != ENOTSUP && errno != ENOSYS)
            return Acad::eFileSystemErr;
        flags = 0; // a file system that keeps no such flags
    }
    if (flags & FS_IMMUTABLE_FL)
        return Acad::eFileAccessErr;
    mAppendOnly = (flags & FS_APPEND_FL) != 0;
    if (mAppendOnly && mCurrent.get() >= 0)
        return Acad::eFileAccessErr;
    const uid_t self = ::geteuid();
    if (!(mFolder.st_mode & S_ISVTX) || mFolder.st_uid == self || mayOverrideOwners())
        return Acad::eOk;
    if (mCurrent.get() >= 0 && mOld.st_uid != self)
        return Acad::eFileAccessErr;
    struct stat backup;
    if (mRequest.keepBackup && mNames->backup() != mName &&
        fsys::statAt(dir(), mNames->backup().c_str(), &backup) == 0 && backup.st_uid != self)
        return Acad::eFileAccessErr;
    return Acad::eOk;
}

// Holding the lock, no other save is half done on this file: what hidden names of it remain
// were left by a killed save. They go before this save makes a name of its own.
void Replacement::removeLeftovers() {
    int copy = ::dup(dir());
    std::unique_ptr<DIR, int (*)(DIR*)> listing(copy < 0 ? nullptr : ::fdopendir(copy), ::closedir);
    if (!listing) {
        if (copy >= 0)
            ::close(copy);
        return;
    }
    ::rewinddir(listing.get());
    std::vector<std::string> stale;
    while (dirent* entry = ::readdir(listing.get()))
        if (mNames->isHidden(entry->d_name))
            stale.push_back(entry->d_name);
    for (const std::string& entry : stale)
        fsys::unlinkAt(dir(), entry.c_str());
}

// A new file under a hidden name of `what` (".tmp", ".old") in the folder, its name in `name`:
// the open descriptor, or -1 with errno set.
int Replacement::createHidden(const char* what, mode_t mode, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string hidden = mNames->hidden(what);
        int fd = fsys::openAt(dir(), hidden.c_str(), O_RDWR | O_CREAT | O_EXCL, mode);
        if (fd >= 0) {
            name = std::move(hidden);
            return fd;
        }
        if (errno != EEXIST)
            break;
    }
    return -1;
}

// Step 3: the new file, unnamed until it is complete. Where the file system cannot make
// unnamed files (or, `named`, cannot give one a name) it gets a hidden name at once.
Acad::ErrorStatus Replacement::makeNewFile(bool named) {
    const mode_t createMode = mCurrent.get() >= 0 ? 0600 : 0666;
    mOut.reset(named ? -1 : fsys::openAt(dir(), ".", O_TMPFILE | O_RDWR, createMode));
    if (mOut.get() < 0 && !named && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return accessStatus(errno);
    if (mOut.get() < 0) {
        if (mAppendOnly)
            return Acad::eFileAccessErr; // a name made there could not be removed again
        mOut.reset(createHidden(".tmp", createMode, mTemp));
        if (mOut.get() < 0)
            return accessStatus(errno);
    }
    return fillNewFile();
}

Acad::ErrorStatus Replacement::fillNewFile() {
    if (fsys::lockFile(mOut.get()) != 0)
        return Acad::eFileSystemErr; // nobody else can know this file: only a fault fails here
    Acad::ErrorStatus status = mRequest.write(mOut.get());
    if (status != Acad::eOk)
        return status;
    if (mCurrent.get() >= 0 &&
        (status = copyOwnership(mCurrent.get(), mOld, mOut.get())) != Acad::eOk)
        return status;
    if (fsys::fsync(mOut.get()) != 0)
        return Acad::eFileWriteError;
    return mRequest.verify ? mRequest.verify(mOut.get()) : Acad::eOk;
}

// Step 4 with no file at the path: the new file takes the name, unless another program
// created a file there meanwhile.
Acad::ErrorStatus Replacement::linkNew() {
    if (mTemp.empty()) {
        if (fsys::linkFd(mOut.get(), dir(), mName.c_str()) == 0)
            return settle();
        if (errno == EEXIST)
            return Acad::eFileSharingViolation;
        if (!linksRefused(errno))
            return Acad::eFileSystemErr;
        Acad::ErrorStatus status = makeNewFile(true);
        if (status != Acad::eOk)
            return status;
    }
    Acad::ErrorStatus status = placeNamed();
    return status == Acad::eOk ? settle() : status;
}

// The hidden name becomes the name: by a second name where the file system makes links, else
// by a rename that replaces nothing (or, where it cannot promise that, after a last look).
Acad::ErrorStatus Replacement::placeNamed() {
    int placed = fsys::linkAt(dir(), mTemp.c_str(), mName.c_str());
    if (placed != 0 && linksRefused(errno)) {
        placed = fsys::renameNoReplace(dir(), mTemp.c_str(), mName.c_str());
        if (placed != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            struct stat there;
            if (fsys::statAt(dir(), mName.c_str(), &there) == 0 || errno != ENOENT)
                return Acad::eFileSharingViolation;
            placed = fsys::renameAt(dir(), mTemp.c_str(), mName.c_str());
        }
        if (placed == 0)
            mTemp.clear();
    }
    if (placed != 0)
        return errno == EEXIST ? Acad::eFileSharingViolation : Acad::eFileSystemErr;
    if (!mTemp.empty() && fsys::unlinkAt(dir(), mTemp.c_str()) != 0) {
        fsys::unlinkAt(dir(), mName.c_str());
        return Acad::eFileSystemErr;
    }
    mTemp.clear();
    return Acad::eOk;
}

// The new file holds the name: flushed into the folder and described, or taken away again.
Acad::ErrorStatus Replacement::settle() {
    if (fsys::dirFsync(dir()) == 0 && identifyNew())
        return Acad::eOk;
    fsys::unlinkAt(dir(), mName.c_str());
    return Acad::eFileSystemErr;
}

// What the new file will be to the next save: its place and spellings, made before it takes
// the path, since nothing may fail for want of memory after that.
void Replacement::prepareIdentity() {
    FileIdentity& id = mResult.identity;
    id.path = joined(mFolderPath, mName);
    id.names.assign(1, spelling(mRequest.path));
    if (mExpected)
        for (const std::string& name : mExpected->names)
            if (name != id.names.front())
                id.names.push_back(name);
    id.folder = mDir;
    id.folderIdentified = true;
    id.folderDevice = mFolder.st_dev;
    id.folderInode = mFolder.st_ino;
    id.name = mName;
}

// The rest of it once it holds the path (taking a name changes its change time).
bool Replacement::identifyNew() {
    struct stat now;
    if (fsys::fstat(mOut.get(), &now) != 0)
        return false;
    describe(now, mResult.identity);
    return true;
}

// Step 4 with a file at the path.
Acad::ErrorStatus Replacement::replaceOld() {
    Acad::ErrorStatus status;
    if (mTemp.empty()) {
        std::string temp = mNames->hidden(".tmp");
        if (fsys::linkFd(mOut.get(), dir(), temp.c_str()) == 0)
            mTemp = std::move(temp);
        else if (!linksRefused(errno))
            return Acad::eFileSystemErr;
        else if ((status = makeNewFile(true)) != Acad::eOk)
            return status;
    }
    if ((status = keepOld()) != Acad::eOk)
        return status;
    if (fsys::renameAt(dir(), mTemp.c_str(), mName.c_str()) != 0)
        return Acad::eFileSystemErr;
    mTemp.clear();
    if (fsys::dirFsync(dir()) != 0 || !identifyNew())
        return rollBack();
    // A backup that is already another name of the old file needs no rename, and a rename
    // between two names of one file would do nothing and keep both.
    bool keep = mRequest.keepBackup && mNames->backup() != mName;
    struct stat bak;
    if (keep && fsys::statAt(dir(), mNames->backup().c_str(), &bak) != 0) {
        if (errno != ENOENT)
            return rollBack();
    } else if (keep && bak.st_dev == mOld.st_dev && bak.st_ino == mOld.st_ino) {
        keep = false;
    }
    if ((keep ? fsys::renameAt(dir(), mPrevious.c_str(), mNames->backup().c_str())
              : fsys::unlinkAt(dir(), mPrevious.c_str())) != 0)
        return rollBack();
    mPrevious.clear();
    return Acad::eOk;
}

// The old file keeps a second name until the new one holds the path, so that a late failure
// can put it back; it becomes the backup only then, so that a failed save leaves an older
// backup as it was. Where the file system makes no links, a copy of it stands in.
Acad::ErrorStatus Replacement::keepOld() {
    std::string previous = mNames->hidden(".old");
    if (fsys::linkAt(dir(), mName.c_str(), previous.c_str()) == 0) {
        mPrevious = std::move(previous);
        mTouchedOld = true;
        return Acad::eOk;
    }
    return linksRefused(errno) ? copyOld() : Acad::eFileSystemErr;
}

// A complete, flushed copy of the old file under a hidden name, with its owner and mode: at
// every moment the old drawing is at the path or there.
Acad::ErrorStatus Replacement::copyOld() {
    mCopy.reset(createHidden(".old", 0600, mPrevious));
    if (mCopy.get() < 0)
        return accessStatus(errno);
    Acad::ErrorStatus status = drawing::copyRange(mCurrent.get(), 0, mOld.st_size, mCopy.get());
    if (status == Acad::eOk)
        status = copyOwnership(mCurrent.get(), mOld, mCopy.get());
    if (status == Acad::eOk && fsys::fsync(mCopy.get()) != 0)
        status = Acad::eFileWriteError;
    return status;
}

// A failure once the new file holds the path: the old drawing goes back.
Acad::ErrorStatus Replacement::rollBack() {
    const std::string previous = std::move(mPrevious);
    mPrevious.clear(); // kept under its hidden name if it cannot go back
    if (fsys::renameAt(dir(), previous.c_str(), mName.c_str()) == 0) {
        fsys::dirFsync(dir());
        if (mCopy.get() >= 0)
            standForCopy();
    }
    return Acad::eFileSystemErr;
}

// The copy now holds the path in the old file's place, with the same bytes: what stood for the
// old file stands for the copy from now on, the descriptor the drawing reads from included, so
// that the drawing saves again.
void Replacement::standForCopy() {
    struct stat copy;
    if (fsys::fstat(mCopy.get(), &copy) != 0)
        return;
    FileIdentity* source = mRequest.source;
    if (source && source->known && sameFile(mOld, *source) && mRequest.sourceFd >= 0)
        ::dup3(mCopy.get(), mRequest.sourceFd, O_CLOEXEC);
    forEachKnown([&](FileIdentity& known) {
        if (sameFile(mOld, known))
            describe(copy, known);
    });
}

// A failed save that gave the old file a second name changed its change time: the drawing
// learns it, so that its own try is not taken for another program's change.
void Replacement::noteOwnChanges() {
    struct stat now;
    if (!mTouchedOld || fsys::fstat(mCurrent.get(), &now) != 0)
        return;
    forEachKnown([&](FileIdentity& known) {
        if (sameFile(now, known) && now.st_size == known.size &&
            sameTime(now.st_mtim, known.modified))
            known.changed = now.st_ctim;
    });
}

void Replacement::dropNames() {
    if (!mTemp.empty())
        fsys::unlinkAt(dir(), mTemp.c_str());
    if (!mPrevious.empty())
        fsys::unlinkAt(dir(), mPrevious.c_str());
    mTemp.clear();
    mPrevious.clear();
}

} // namespace

namespace {
Acad::ErrorStatus splitResolved(const std::string& at, std::string& folder, std::string& name);

// resolveSaveTarget's work; `followed` tells whether a symbolic link was followed.
Acad::ErrorStatus resolveTarget(const std::string& path, std::string& folder, std::string& name,
                                bool& followed) {
    std::string at = path;
    followed = false;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (fsys::lstatPath(at.c_str(), &st) != 0) {
            if (errno == ENOENT)
                break; // a new file, or a link to one
            return accessStatus(errno);
        }
        if (!S_ISLNK(st.st_mode))
            break;
        if (hops == kMaxLinkHops)
            return Acad::eFileNotFound;
        std::string to(PATH_MAX, '\0');
        ssize_t size = fsys::readLink(at.c_str(), &to[0], to.size());
        if (size < 0)
            return accessStatus(errno);
        to.resize(static_cast<std::size_t>(size));
        std::size_t slash = at.rfind('/');
        at = to[0] == '/' || slash == std::string::npos ? to : at.substr(0, slash + 1) + to;
        followed = true;
    }
    return splitResolved(at, folder, name);
}

// The folder of `at`, resolved, and its last component; eInvalidInput when that is no name.
Acad::ErrorStatus splitResolved(const std::string& at, std::string& folder, std::string& name) {
    std::size_t slash = at.rfind('/');
    std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : at.substr(0, slash);
    name = slash == std::string::npos ? at : at.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Acad::eInvalidInput;
    // A bare name's folder is the current one, which getcwd gives resolved: the answer a
    // _wfullpath of the same call found serves again.
    if (slash == std::string::npos && !(folder = currentFolder()).empty())
        return Acad::eOk;
    std::unique_ptr<char, void (*)(void*)> real(::realpath(parent.c_str(), nullptr), std::free);
    if (!real)
        return accessStatus(errno);
    folder = real.get();
    return Acad::eOk;
}

// Opens `folder` into `dir` and the file `name` in it, not following a link, into `file`: 0,
// or the errno of the call that failed.
int openInFolder(const std::string& folder, const std::string& name, drawing::Fd& dir,
                 drawing::Fd& file) {
    // O_PATH: a folder the process may pass through but not list still holds drawings.
    dir.reset(fsys::open(folder.c_str(), O_PATH | O_DIRECTORY));
    if (dir.get() < 0)
        return errno;
    file.reset(fsys::openAt(dir.get(), name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW));
    return file.get() < 0 ? errno : 0;
}

// openIdentified's opens. The path's last component is first taken for a file, as it mostly
// is, which spares asking whether it is a link: the open in the folder refuses a link (ELOOP),
// and then the path is resolved as a save resolves it, the link followed.
Acad::ErrorStatus openTarget(const std::string& path, std::string& folder, std::string& name,
                             bool& followed, drawing::Fd& dir, drawing::Fd& file) {
    followed = false;
    Acad::ErrorStatus status = splitResolved(path, folder, name);
    if (status == Acad::eOk) {
        const int err = openInFolder(folder, name, dir, file);
        if (err != ELOOP)
            return err == 0 ? Acad::eOk : accessStatus(err);
    } else if (status != Acad::eInvalidInput) {
        return status;
    }
    if ((status = resolveTarget(path, folder, name, followed)) != Acad::eOk)
        return status == Acad::eInvalidInput ? Acad::eFileAccessErr : status;
    const int err = openInFolder(folder, name, dir, file);
    return err == 0 ? Acad::eOk : accessStatus(err);
}
} // namespace

Acad::ErrorStatus resolveSaveTarget(const std::string& path, std::string& folder,
                                    std::string& name) {
    bool followed;
    return resolveTarget(path, folder, name, followed);
}

Acad::ErrorStatus openIdentified(const std::string& path, int& fd, FileIdentity& identity) {
    std::string folder, name;
    bool followed;
    auto dir = std::make_shared<drawing::Fd>();
    drawing::Fd file;
    Acad::ErrorStatus status = openTarget(path, folder, name, followed, *dir, file);
    if (status != Acad::eOk)
        return status;
    struct stat st;
    if (fsys::fstat(file.get(), &st) != 0)
        return Acad::eFileAccessErr;
    FileIdentity id;
    describe(st, id);
    id.path = joined(folder, name);
    // Without a link followed, the folder is the path's own resolved, so the resolved spelling
    // is id.path; and a bare name's spelling is the same (the current folder as the system
    // gives it has nothing to resolve). Reads in a loop spare these calls of getcwd.
    const bool bare = !followed && path.find('/') == std::string::npos;
    id.names.push_back(bare ? id.path : spelling(path));
    std::string resolved = followed ? resolvedSpelling(path) : id.path;
    if (!resolved.empty() && resolved != id.names.front())
        id.names.push_back(resolved);
    id.folder = std::move(dir); // its identity is asked by a save (identifyFolder)
    id.name = name;
    identity = std::move(id);
    fd = file.release();
    return Acad::eOk;
}

Acad::ErrorStatus replaceFile(const ReplaceRequest& request, ReplaceResult& result) {
    Replacement replacement(request, result);
    return replacement.run();
}

} // namespace minihost
