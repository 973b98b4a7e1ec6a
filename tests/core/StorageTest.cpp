#include "core/ProgramFiles.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Storage : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(root_ / "program"); }
    void TearDown() override {
        fs::permissions(root_ / "program", fs::perms::owner_all);
        core::UseStorage({core::Storage::Portable, {}, {}, {}, {}});
    }
    std::string Program() const { return (root_ / "program").string() + "/"; }
    std::string Data() const { return (root_ / "home" / "share" / "My Brindle Viewer").string(); }

    TempFolder folder_{"mbv-storage"};
    const fs::path& root_ = folder_.Path();
};

} // namespace

TEST_F(Storage, AWritableFolderKeepsEverythingBesideTheProgram) {
    const core::Storage storage = core::ChooseStorage(Program(), Data(), false);
    EXPECT_EQ(storage.mode, core::Storage::Portable);
    EXPECT_EQ(storage.folder, Program());
    EXPECT_FALSE(fs::exists(Data()));
    // The probe of the folder leaves nothing behind.
    EXPECT_TRUE(fs::is_empty(root_ / "program"));
}

TEST_F(Storage, AnInstalledCopyMakesTheDataFolderForTheUserAloneAndKeepsEveryFileThere) {
    const core::Storage storage = core::ChooseStorage(Program(), Data(), true);
    EXPECT_EQ(storage.mode, core::Storage::Installed);
    EXPECT_EQ(storage.folder, Data() + "/");
    EXPECT_EQ(storage.error, "");
    EXPECT_EQ(fs::status(Data()).permissions() & fs::perms::all, fs::perms::owner_all);

    core::UseStorage(storage);
    const core::ProgramFiles files = core::ProgramFiles::OfThisProgram();
    EXPECT_EQ(files.Folder(), Data() + "/");
    EXPECT_EQ(files.Names(), Data() + "//clientlist.txt");
    EXPECT_EQ(files.Ids(), Data() + "//clientIDlist.txt");
    EXPECT_EQ(files.Settings(), Data() + "/myviewer.ini");
    EXPECT_EQ(files.Batch(), Data() + "//vncviewer.bat");
}

TEST_F(Storage, TheInstallersMarkSendsTheFilesToTheDataFolderEvenWhereTheProgramMayWrite) {
    std::ofstream(root_ / "program" / core::InstalledMark) << "installed";
    const core::Storage storage = core::ChooseStorage(Program(), Data(), false);
    EXPECT_EQ(storage.mode, core::Storage::Installed);
    EXPECT_EQ(storage.folder, Data() + "/");
    // Only a file counts: a folder of that name is not the installer's.
    fs::remove(root_ / "program" / core::InstalledMark);
    fs::create_directory(root_ / "program" / core::InstalledMark);
    EXPECT_EQ(core::ChooseStorage(Program(), Data(), false).mode, core::Storage::Portable);
}

TEST_F(Storage, ADataFolderThatCannotBeMadeIsSaid) {
    std::ofstream(root_ / "home") << "a file where a folder should be";
    const core::Storage storage = core::ChooseStorage(Program(), Data(), true);
    EXPECT_EQ(storage.mode, core::Storage::Installed);
    EXPECT_EQ(storage.error, "Cannot create the folder " + Data() + "/ for your client book");
}

TEST_F(Storage, AFolderThatMayNotBeWrittenTakesTheDataFolder) {
    const std::string program = Program();
    // Permissions do not bind the super-user; an immutable folder binds everyone.
    const int fd = ::open(program.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    const bool immutable = ::geteuid() == 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                           (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    if (::geteuid() == 0 && !immutable) {
        ::close(fd);
        GTEST_SKIP() << "this file system cannot make a folder read-only for the super-user";
    }
    if (!immutable) {
        fs::permissions(root_ / "program", fs::perms::owner_read | fs::perms::owner_exec);
    }
    EXPECT_EQ(core::ChooseStorage(program, Data(), false).mode, core::Storage::Installed);
    if (immutable) {
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
}

TEST_F(Storage, AProgramFolderOthersMayWriteIsNoPortableFolder) {
    struct Case {
        const char* name;
        fs::perms perms;
        uid_t owner;
        gid_t group;
        bool portable;
    };
    // nogroup is the own group of the nobody account; the super-user's group holds nobody
    // else.
    const std::vector<Case> cases{
        {"the user's alone", fs::perms::owner_all, ::geteuid(), ::getegid(), true},
        {"world-writable", fs::perms::all, ::geteuid(), ::getegid(), false},
        {"world-writable and sticky", fs::perms::all | fs::perms::sticky_bit, ::geteuid(),
         ::getegid(), false},
        {"group-writable, another account's group", fs::perms::owner_all | fs::perms::group_all,
         ::geteuid(), 65534, false},
        {"group-writable, a group of the user's alone", fs::perms::owner_all | fs::perms::group_all,
         0, 0, true},
        {"another account's", fs::perms::owner_all, 65534, ::getegid(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if ((c.owner != ::geteuid() || c.group != ::getegid()) && ::geteuid() != 0) {
            continue; // only the super-user can give a folder away
        }
        ASSERT_EQ(::chown(Program().c_str(), c.owner, c.group), 0);
        fs::permissions(root_ / "program", c.perms);
        const core::Storage storage = core::ChooseStorage(Program(), Data(), false);
        EXPECT_EQ(storage.mode == core::Storage::Portable, c.portable);
        ASSERT_EQ(::chown(Program().c_str(), ::geteuid(), ::getegid()), 0);
    }
}

TEST_F(Storage, ABookInAFolderOthersMayWriteIsCarriedOverOnceAndLeftThere) {
    std::ofstream(root_ / "program" / "clientlist.txt") << "Alpha\r\n";
    std::ofstream(root_ / "program" / "myviewer.ini") << "[password]\r\nvalue=pw\r\n";
    fs::permissions(root_ / "program", fs::perms::all);

    const core::Storage storage = core::ChooseStorage(Program(), Data(), false);
    EXPECT_EQ(storage.mode, core::Storage::Installed);
    EXPECT_EQ(storage.carriedFrom, Program());
    EXPECT_EQ(folder_.Read("home/share/My Brindle Viewer/clientlist.txt"), "Alpha\r\n");
    EXPECT_FALSE(fs::exists(Data() + "/clientIDlist.txt"));
    EXPECT_EQ(fs::status(Data() + "/myviewer.ini").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(folder_.Read("program/clientlist.txt"), "Alpha\r\n");

    // The data folder has a book now: it is never written over from the program's folder.
    std::ofstream(root_ / "program" / "clientlist.txt") << "Mallory\r\n";
    EXPECT_EQ(core::ChooseStorage(Program(), Data(), false).carriedFrom, "");
    EXPECT_EQ(folder_.Read("home/share/My Brindle Viewer/clientlist.txt"), "Alpha\r\n");
}

TEST_F(Storage, AFolderChosenForTheBookIsUsedEvenWhenOthersMayWriteIt) {
    fs::create_directories(root_ / "team");
    fs::permissions(root_ / "team", fs::perms::all);
    const std::string team = (root_ / "team").string();
    const core::Storage storage = core::ChooseStorage(Program(), Data(), true, team);
    EXPECT_EQ(storage.mode, core::Storage::Chosen);
    EXPECT_EQ(storage.folder, team + "/");
    core::UseStorage(storage);
    EXPECT_EQ(core::ProgramFiles::OfThisProgram().Names(), team + "//clientlist.txt");
}
