// Owner, group, mode and extended attributes from one file to another. See file_ownership.h.
#include "minihost/drawing/file/file_ownership.h"

#include <cerrno>
#include <cstdint>
#include <string>

#include "minihost/drawing/file/file_faults.h"

namespace minihost {
namespace {

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

// A file system that keeps no owners or modes (FAT through FUSE, some shares) says so.
bool notKept(int err) {
    return err == ENOSYS || err == ENOTSUP || err == EOPNOTSUPP;
}

} // namespace

Acad::ErrorStatus copyOwnership(int from, const struct stat& old, int to) {
    mode_t mode = old.st_mode & 07777;
    const mode_t groupBits = S_IRWXG | S_ISGID;
    if (fsys::fchown(to, old.st_uid, old.st_gid) != 0) {
        if (notKept(errno)) {
            // The new file has whatever group the file system gives it: the old group's rights
            // only where that is the old group.
            struct stat now;
            if (fsys::fstat(to, &now) != 0 || now.st_gid != old.st_gid)
                mode &= ~groupBits;
        } else if (errno != EPERM) {
            return Acad::eFileSystemErr;
        } else if (fsys::fchown(to, static_cast<uid_t>(-1), old.st_gid) != 0) {
            // Not allowed to give the file away, nor to keep the group: another group gets no
            // rights.
            if (errno != EPERM)
                return Acad::eFileSystemErr;
            mode &= ~groupBits;
        }
    }
    if (fsys::fchmod(to, mode) != 0 && !notKept(errno))
        return Acad::eFileSystemErr;
    return copyAttributes(from, to, mode);
}

} // namespace minihost
