// The format-independent replace step of a save. Its order matters:
//   1. resolve the target physically and open it for writing (the permission check);
//   2. lock it, and check that it is still the file the drawing was read from, unchanged;
//   3. write the new content to an unnamed file in the same folder, give it the old file's
//      owner, group, mode and extended attributes, flush it;
//   4. link it in: directly when there was no file, else under a hidden name renamed over the
//      path while the old file keeps a second name until the new one holds the path.
// Both files stay locked until the end, so a save that locks the file now at the path knows
// that no other save is half done on it, and may remove names a killed save left.
#include "minihost/drawing/file_replace.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "minihost/drawing/file_faults.h"
#include "minihost/drawing/owned_fd.h"

namespace minihost {
namespace {

// How long a save waits for another save of the same file to finish.
constexpr auto kLockWait = std::chrono::seconds(10);
constexpr int kMaxLinkHops = 40; // as the kernel allows

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Still the same content: nobody wrote to the file (size and modification time).
bool sameContent(const struct stat& st, const FileIdentity& id) {
    return st.st_size == id.size && sameTime(st.st_mtim, id.modified);
}

Acad::ErrorStatus accessStatus(int err) {
    if (err == ENOMEM)
        return Acad::eOutOfMemory;
    if (err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG)
        return Acad::eFileNotFound;
    return Acad::eFileAccessErr;
}

// A hidden name beside `name` for a moment of the save: .<name>.<pid>-<n><what>.
std::string tempName(const std::string& name, const char* what) {
    static std::atomic<unsigned long> counter{0};
    return "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(++counter) + what;
}

// Whether `entry` is a name tempName(name, ...) made.
bool isTempName(const std::string& entry, const std::string& name) {
    const std::string prefix = "." + name + ".";
    if (entry.size() <= prefix.size() + 4 || entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string what = entry.substr(entry.size() - 4);
    if (what != ".tmp" && what != ".old")
        return false;
    std::string middle = entry.substr(prefix.size(), entry.size() - prefix.size() - 4);
    std::size_t dash = middle.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == middle.size())
        return false;
    for (std::size_t i = 0; i < middle.size(); ++i)
        if (i != dash && (middle[i] < '0' || middle[i] > '9'))
            return false;
    return true;
}

// Removes the names a save of `name` killed between linking and renaming left. Called only
// while holding the lock on the file at the path, when no other save of it is under way.
void removeLeftovers(const std::string& folder, int dir, const std::string& name) {
    std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(folder.c_str()), ::closedir);
    if (!listing)
        return;
    std::vector<std::string> stale;
    while (dirent* entry = ::readdir(listing.get()))
        if (isTempName(entry->d_name, name))
            stale.push_back(entry->d_name);
    for (const std::string& entry : stale)
        fsys::unlinkAt(dir, entry.c_str());
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

// Group permission bits that an access ACL (system.posix_acl_access, version 2: a 4-byte
// header, then 8-byte entries of tag, permissions, id) gives the owning group: its own entry
// limited by the mask. -1 when the value cannot be read.
int aclGroupBits(const std::string& acl) {
    constexpr std::uint16_t kGroupObj = 0x04, kMask = 0x10;
    if (acl.size() < 4 || (acl.size() - 4) % 8 != 0)
        return -1;
    int group = -1, mask = 7;
    for (std::size_t at = 4; at < acl.size(); at += 8) {
        auto u16 = [&](std::size_t i) {
            return static_cast<std::uint16_t>(static_cast<unsigned char>(acl[i]) |
                                              static_cast<unsigned char>(acl[i + 1]) << 8);
        };
        if (u16(at) == kGroupObj)
            group = u16(at + 2) & 7;
        else if (u16(at) == kMask)
            mask = u16(at + 2) & 7;
    }
    return group < 0 ? -1 : group & mask;
}

bool refused(int err) {
    return err == EPERM || err == EACCES || err == ENOTSUP || err == EOPNOTSUPP;
}

// Copies the extended attributes of `from` (ACLs among them) to `to`. `mode` is narrowed when
// an access ACL cannot be kept, so that the plain mode never grants more than the ACL did.
Acad::ErrorStatus copyAttributes(int from, int to, mode_t& mode) {
    std::string names;
    for (;;) {
        ssize_t size = fsys::listXattr(from, nullptr, 0);
        if (size < 0)
            return refused(errno) ? Acad::eOk : Acad::eFileSystemErr;
        names.resize(static_cast<std::size_t>(size));
        size = size ? fsys::listXattr(from, &names[0], names.size()) : 0;
        if (size >= 0) {
            names.resize(static_cast<std::size_t>(size));
            break;
        }
        if (errno != ERANGE)
            return Acad::eFileSystemErr;
    }
    bool aclKept = false, hadAcl = false;
    std::string value;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const std::string name = names.c_str() + at;
        ssize_t size = fsys::getXattr(from, name.c_str(), nullptr, 0);
        if (size >= 0) {
            value.resize(static_cast<std::size_t>(size));
            size = size ? fsys::getXattr(from, name.c_str(), &value[0], value.size()) : 0;
        }
        if (size < 0) {
            if (refused(errno) || errno == ENODATA)
                continue;
            return Acad::eFileSystemErr;
        }
        value.resize(static_cast<std::size_t>(size));
        const bool acl = name == "system.posix_acl_access";
        hadAcl = hadAcl || acl;
        if (fsys::setXattr(to, name.c_str(), value.data(), value.size()) == 0) {
            aclKept = aclKept || acl;
            continue;
        }
        if (!refused(errno))
            return Acad::eFileSystemErr;
        if (acl) { // the plain mode must not give the owning group the ACL's mask
            int bits = aclGroupBits(value);
            mode = (mode & ~S_IRWXG) | (bits < 0 ? 0 : static_cast<mode_t>(bits) << 3);
        }
    }
    // An ACL the folder's default gave the new file, where the old one had none, would widen
    // access: take it off.
    if (!hadAcl && fsys::removeXattr(to, "system.posix_acl_access") != 0 && errno != ENODATA &&
        !refused(errno))
        return Acad::eFileSystemErr;
    if (hadAcl && !aclKept && fsys::fchmod(to, mode) != 0)
        return Acad::eFileSystemErr;
    return Acad::eOk;
}

// Gives the new file `to` the owner, group, mode and extended attributes of `old`, as far as
// the process may, never granting more than the old file did.
Acad::ErrorStatus copyOwnership(int from, const struct stat& old, int to) {
    mode_t mode = old.st_mode & 07777;
    if (fsys::fchown(to, old.st_uid, old.st_gid) != 0) {
        if (errno != EPERM)
            return Acad::eFileSystemErr;
        // Not allowed to give the file away: keep at least the group if we may.
        if (fsys::fchown(to, static_cast<uid_t>(-1), old.st_gid) != 0) {
            if (errno != EPERM)
                return Acad::eFileSystemErr;
            mode &= ~static_cast<mode_t>(S_IRWXG | S_ISGID); // another group: no rights
        }
    }
    if (fsys::fchmod(to, mode) != 0)
        return Acad::eFileSystemErr;
    return copyAttributes(from, to, mode);
}

} // namespace

Acad::ErrorStatus resolveSaveTarget(const std::string& path, std::string& folder,
                                    std::string& name) {
    std::string at = path;
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
    }
    std::size_t slash = at.rfind('/');
    std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : at.substr(0, slash);
    name = slash == std::string::npos ? at : at.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return Acad::eInvalidInput;
    std::unique_ptr<char, void (*)(void*)> real(::realpath(parent.c_str(), nullptr), std::free);
    if (!real)
        return accessStatus(errno);
    folder = real.get();
    return Acad::eOk;
}

bool identifyFile(int fd, const std::string& path, FileIdentity& identity) {
    identity = FileIdentity{};
    struct stat st;
    std::string folder, name;
    if (fsys::fstat(fd, &st) != 0 || resolveSaveTarget(path, folder, name) != Acad::eOk)
        return false;
    identity.path = folder == "/" ? "/" + name : folder + "/" + name;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modified = st.st_mtim;
    identity.known = true;
    return true;
}

Acad::ErrorStatus replaceFile(const ReplaceRequest& request, ReplaceResult& result) {
    std::string folder, name;
    Acad::ErrorStatus status = resolveSaveTarget(request.path, folder, name);
    if (status != Acad::eOk)
        return status;
    const std::string physical = folder == "/" ? "/" + name : folder + "/" + name;
    drawing::Fd dir(fsys::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
    if (dir.get() < 0)
        return accessStatus(errno);

    // 1. The file now at the path, opened for writing: the same check of permissions that
    // writing in place would make. Without the right to write it, nothing is written. Only a
    // regular file is opened at all (opening a device can act on it).
    struct stat before;
    if (fsys::statAt(dir.get(), name.c_str(), &before) != 0 ? errno != ENOENT
                                                            : !S_ISREG(before.st_mode))
        return Acad::eFileAccessErr;
    drawing::Fd current(fsys::openAt(dir.get(), name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK));
    if (current.get() < 0 && errno != ENOENT)
        return accessStatus(errno);
    struct stat old = {};
    if (current.get() >= 0) {
        if (fsys::fstat(current.get(), &old) != 0)
            return Acad::eFileSystemErr;
        if (!S_ISREG(old.st_mode))
            return Acad::eFileAccessErr;
    }

    // 2. Lock it, then check it is still what the path names and, when the drawing came from
    // it, that nobody changed it since.
    const FileIdentity* source = request.source && request.source->known ? request.source : nullptr;
    if (current.get() >= 0) {
        if ((status = lock(current.get())) != Acad::eOk)
            return status;
        struct stat named;
        if (fsys::statAt(dir.get(), name.c_str(), &named) != 0)
            return Acad::eFileSystemErr;
        if (named.st_dev != old.st_dev || named.st_ino != old.st_ino)
            return Acad::eFileSharingViolation; // replaced while we opened it
    }
    if (source && request.sourceFd >= 0) {
        struct stat read;
        if (fsys::fstat(request.sourceFd, &read) != 0)
            return Acad::eFileAccessErr;
        if (!sameContent(read, *source))
            return Acad::eFileSharingViolation; // what we would copy was rewritten
    }
    // The file the drawing last knew at this path, read from it or saved to it, must still be
    // there unchanged: anything else is another program's change.
    const FileIdentity* expected = source && source->path == physical ? source : nullptr;
    if (request.elsewhere)
        for (const FileIdentity& known : *request.elsewhere)
            if (known.known && known.path == physical)
                expected = &known;
    if (expected && current.get() >= 0 &&
        (old.st_dev != expected->device || old.st_ino != expected->inode ||
         !sameContent(old, *expected)))
        return Acad::eFileSharingViolation;
    // Holding the lock, no other save is half done on this file: what hidden names of it
    // remain were left by a killed save. They go before this save makes a name of its own.
    if (current.get() >= 0)
        removeLeftovers(folder, dir.get(), name);

    // 3. The new file, unnamed until it is complete. Where the file system cannot make
    // unnamed files it gets a hidden name at once, and loses it again on any failure.
    const mode_t createMode = current.get() >= 0 ? 0600 : 0666;
    std::string named;
    drawing::Fd out(fsys::openAt(dir.get(), ".", O_TMPFILE | O_RDWR, createMode));
    if (out.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
            named = tempName(name, ".tmp");
            out.reset(
                fsys::openAt(dir.get(), named.c_str(), O_RDWR | O_CREAT | O_EXCL, createMode));
            if (out.get() < 0 && errno != EEXIST)
                break;
        }
    }
    if (out.get() < 0)
        return accessStatus(errno);
    struct Forget { // the hidden name goes again on every failure, running out of memory too
        int dir;
        const std::string* name;
        ~Forget() {
            if (name && !name->empty())
                fsys::unlinkAt(dir, name->c_str());
        }
    } forgetNew{dir.get(), &named};
    if (fsys::lockFile(out.get()) != 0)
        return Acad::eFileSystemErr; // nobody else can know this file: only a fault fails here
    if ((status = request.write(out.get())) != Acad::eOk)
        return status;
    if (current.get() >= 0 && (status = copyOwnership(current.get(), old, out.get())) != Acad::eOk)
        return status;
    if (fsys::fsync(out.get()) != 0)
        return Acad::eFileWriteError;
    if (request.verify && (status = request.verify(out.get())) != Acad::eOk)
        return status;
    // What the new file will be to the next save (linking and renaming change none of it).
    struct stat now;
    if (fsys::fstat(out.get(), &now) != 0)
        return Acad::eFileSystemErr;
    result.identity.known = true;
    result.identity.path = physical;
    result.identity.device = now.st_dev;
    result.identity.inode = now.st_ino;
    result.identity.size = now.st_size;
    result.identity.modified = now.st_mtim;

    // 4. Link it in.
    if (current.get() < 0) {
        int linked = named.empty() ? fsys::linkFd(out.get(), dir.get(), name.c_str())
                                   : fsys::linkAt(dir.get(), named.c_str(), name.c_str());
        if (linked != 0)
            return errno == EEXIST ? Acad::eFileSharingViolation : Acad::eFileSystemErr;
        if (fsys::dirFsync(dir.get()) != 0) {
            fsys::unlinkAt(dir.get(), name.c_str());
            return Acad::eFileSystemErr;
        }
    } else {
        if (named.empty()) {
            named = tempName(name, ".tmp");
            if (fsys::linkFd(out.get(), dir.get(), named.c_str()) != 0) {
                named.clear();
                return Acad::eFileSystemErr;
            }
        }
        // The old file keeps a second name until the new one holds the path, so that a late
        // failure can put it back; it becomes the backup only then, so that a failed save
        // leaves an older backup as it was.
        const std::string previous = tempName(name, ".old");
        if (fsys::linkAt(dir.get(), name.c_str(), previous.c_str()) != 0)
            return Acad::eFileSystemErr;
        if (fsys::renameAt(dir.get(), named.c_str(), name.c_str()) != 0) {
            fsys::unlinkAt(dir.get(), previous.c_str());
            return Acad::eFileSystemErr;
        }
        named.clear();
        auto rollBack = [&]() {
            fsys::renameAt(dir.get(), previous.c_str(), name.c_str());
            fsys::dirFsync(dir.get());
            return Acad::eFileSystemErr;
        };
        if (fsys::dirFsync(dir.get()) != 0)
            return rollBack();
        std::size_t dot = name.rfind('.');
        std::string backup =
            (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".bak";
        bool keep = request.keepBackup && backup != name;
        if (keep) {
            // A backup that is already another name of the old file needs no rename, and a
            // rename between two names of one file would do nothing and keep both.
            struct stat bak;
            if (fsys::statAt(dir.get(), backup.c_str(), &bak) != 0) {
                if (errno != ENOENT)
                    return rollBack();
            } else if (bak.st_dev == old.st_dev && bak.st_ino == old.st_ino) {
                keep = false;
            }
        }
        if ((keep ? fsys::renameAt(dir.get(), previous.c_str(), backup.c_str())
                  : fsys::unlinkAt(dir.get(), previous.c_str())) != 0)
            return rollBack();
    }

    fsys::unlockFile(out.get());
    result.fd = out.release();
    return Acad::eOk;
}

} // namespace minihost
