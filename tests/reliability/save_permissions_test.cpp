// Permissions and ownership: who may save a drawing, and what a save keeps of the file's owner,
// group, mode, extended attributes and ACL. The tests run as root; the refusals are checked in
// a child process with an unprivileged user's rights.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "minihost/drawing/file/file_faults.h"
#include "tests/reliability/shared_folder.h"
#include "tests/support/temp_dir.h"

using namespace shared_folder;
using testing_support::listing;
using testing_support::readFile;

namespace {

struct Refusal {
    const char* what;
    mode_t fileMode, folderMode;
};

// A drawing the user may not write, or in a folder the user may not write: setsumleaf answers
// nil, the drawing is as it was and nothing is left beside it.
TEST(SavePermissions, ADrawingTheUserMayNotWriteIsLeftAsItWas) {
    for (const Refusal& refusal :
         {Refusal{"read-only drawing", 0444, 0755}, Refusal{"read-only folder", 0644, 0555}}) {
        SCOPED_TRACE(refusal.what);
        testing_support::TempDir dir;
        const fs::path path = dir / "drawing.dwg";
        ASSERT_TRUE(makeDrawing(path, L"old"));
        const std::string before = readFile(path);
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown(dir.path().c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chmod(path.c_str(), refusal.fileMode), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), refusal.folderMode), 0);
        EXPECT_EQ(asNobody([&] { return merge(path, L"Key", L"new") ? 1 : 0; }), 0)
            << "the save was reported done";
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"drawing.dwg"});
        ::chmod(dir.path().c_str(), 0755);
    }
}

// system.posix_acl_access, version 2: owner rw, user 1234 rw, owning group r, mask rw, other
// nothing. Without the ACL the mode alone would give the group the mask's rw.
std::string aclValue() {
    const unsigned char entries[][8] = {{1, 0, 6, 0, 0xff, 0xff, 0xff, 0xff},
                                        {2, 0, 6, 0, 0xd2, 0x04, 0, 0},
                                        {4, 0, 4, 0, 0xff, 0xff, 0xff, 0xff},
                                        {0x10, 0, 6, 0, 0xff, 0xff, 0xff, 0xff},
                                        {0x20, 0, 0, 0, 0xff, 0xff, 0xff, 0xff}};
    std::string value("\x02\0\0\0", 4);
    for (const auto& entry : entries)
        value.append(reinterpret_cast<const char*>(entry), 8);
    return value;
}

std::string attribute(const fs::path& path, const char* name) {
    char value[256];
    ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? "<none>" : std::string(value, static_cast<std::size_t>(size));
}

// Saving another user's drawing as root keeps its owner, group, mode, attributes and ACL.
TEST(SavePermissions, OwnerGroupModeAttributesAndAclSurviveASave) {
    testing_support::TempDir dir;
    const fs::path path = dir / "drawing.dwg";
    ASSERT_TRUE(makeDrawing(path, L"old"));
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(::setxattr(path.c_str(), "user.project", "bridge", 6, 0), 0);
    const std::string acl = aclValue();
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "this file system keeps no ACLs";
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    ASSERT_TRUE(merge(path, L"Key", L"new"));
    struct stat after;
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "not saved";
    EXPECT_EQ(after.st_uid, kNobody);
    EXPECT_EQ(after.st_gid, kNobody);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(attribute(path, "user.project"), "bridge");
    EXPECT_EQ(attribute(path, "system.posix_acl_access"), acl);
}

// Where the save cannot keep what guarded the file, the new file grants no more than the old:
// an unprivileged user who may write another user's file cannot give the new file that group,
// so the group's rights go; an ACL that cannot be set leaves the owning group only what the ACL
// gave it, not the mask's rights that the mode shows.
TEST(SavePermissions, WhatCannotBeKeptNeverWidensAccess) {
    testing_support::TempDir dir;
    const fs::path path = dir / "drawing.dwg";
    ASSERT_TRUE(makeDrawing(path, L"old"));
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0); // root's, writable by anyone
    ASSERT_EQ(::chown(dir.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(asNobody([&] { return merge(path, L"Key", L"new") ? 0 : 1; }), 0);
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0606u) << "the group it could not keep keeps its rights";

    // A file system that keeps no owners: the new file's group (root's) is not the old one.
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    minihost::clearFileFaults();
    minihost::failFileOp(minihost::FileOp::Chown, 1, ENOSYS);
    ASSERT_TRUE(merge(path, L"Key", L"owners not kept"));
    minihost::clearFileFaults();
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 070, 0u) << "another group got the old group's rights";

    const std::string acl = aclValue(); // group r, mask rw: the mode shows group rw
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0)
        GTEST_SKIP() << "this file system keeps no ACLs";
    // Listing (twice), reading (twice), then setting the ACL: the fifth attribute call.
    minihost::clearFileFaults();
    minihost::failFileOp(minihost::FileOp::Xattr, 5, EPERM);
    ASSERT_TRUE(merge(path, L"Key", L"newer"));
    minihost::clearFileFaults();
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(attribute(path, "system.posix_acl_access"), "<none>");
    EXPECT_EQ(st.st_mode & 070, 040u) << "the group got the mask's rights";
}

// Sets or clears the append-only flag of the folder `path`; false where the file system has
// none.
bool setAppendOnly(const fs::path& path, bool on) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return done;
}

// Folders where the replace could not finish: a sticky shared folder where the drawing is
// another user's, and an append-only folder. The save is refused before it makes any name,
// so tries do not pile hidden names up.
TEST(SavePermissions, AFolderThatWouldStopTheReplaceGetsNoNames) {
    {
        SCOPED_TRACE("sticky folder, root's drawing writable by all");
        testing_support::TempDir dir;
        const fs::path path = dir / "drawing.dwg";
        ASSERT_TRUE(makeDrawing(path, L"old"));
        ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
        ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
        const std::string before = readFile(path);
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(asNobody([&] { return merge(path, L"Key", L"new") ? 1 : 0; }), 0);
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"drawing.dwg"});
    }
    {
        SCOPED_TRACE("append-only folder");
        testing_support::TempDir dir;
        const fs::path path = dir / "drawing.dwg";
        ASSERT_TRUE(makeDrawing(path, L"old"));
        const std::string before = readFile(path);
        if (!setAppendOnly(dir.path(), true))
            GTEST_SKIP() << "this file system has no append-only folders";
        const bool saved = merge(path, L"Key", L"new");
        const std::vector<std::string> names = listing(dir.path());
        ASSERT_TRUE(setAppendOnly(dir.path(), false));
        EXPECT_FALSE(saved);
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(names, std::vector<std::string>{"drawing.dwg"});
    }
}

} // namespace
