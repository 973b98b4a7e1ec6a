#include "core/LaunchLine.h"
#include "base/Exception.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

namespace {

core::LaunchInputs Typical() {
    return {.folder = "C:\\Tools\\",
            .quote = "\"",
            .host = "192.0.2.10",
            .port = "5901",
            .autoreconnect = " -autoreconnect",
            .connect = " -connect",
            .id = "123456",
            .quality = "3",
            .autoscaling = " -autoscaling",
            .passwordSwitch = "",
            .password = ""};
}

} // namespace

TEST(LaunchLine, JoinsTheEighteenPiecesAndEscapesWhatTheInterpreterReads) {
    EXPECT_EQ(core::LaunchLine(Typical()),
              "\"C:\\Tools\\Bin\\vncviewer.exe\" -proxy 192.0.2.10:5901 -autoreconnect -connect "
              "ID:123456 -quickoption 3 -autoscaling -keepalive 1 -dsmplugin "
              "SecureVNCPlugin.dsm");

    core::LaunchInputs odd = Typical();
    odd.folder = "C:\\100% & more\\";
    odd.host = "a&b|c";
    odd.port = "";
    odd.quality = "";
    odd.autoreconnect = odd.connect = "";
    odd.passwordSwitch = " -password ";
    odd.password = "p%w<>^";
    EXPECT_EQ(core::LaunchLine(odd),
              "\"C:\\100%% & more\\Bin\\vncviewer.exe\" -proxy a^&b^|c: ID:123456 -quickoption  "
              "-autoscaling -keepalive 1 -dsmplugin SecureVNCPlugin.dsm -password p%%w^<^>^^");
}

TEST(LaunchLine, AControlCharacterInAnyFieldIsRefusedNamingTheField) {
    const struct {
        std::string core::LaunchInputs::*field;
        const char* name;
    } fields[] = {{&core::LaunchInputs::id, "client ID"},
                  {&core::LaunchInputs::host, "repeater address"},
                  {&core::LaunchInputs::port, "viewer port"},
                  {&core::LaunchInputs::quality, "quality"},
                  {&core::LaunchInputs::password, "password"}};
    for (const auto& field : fields) {
        for (const char bad : {'\x01', '\n', '\r', '\x1A', '\x1F', '\x7F'}) {
            core::LaunchInputs in = Typical();
            in.*field.field = "12" + std::string(1, bad) + "del *";
            try {
                core::CheckLaunchInputs(in);
                ADD_FAILURE() << field.name << " " << int(bad);
            } catch (const Exception& error) {
                EXPECT_EQ(error.Message(), "Cannot connect: the " + std::string(field.name) +
                                               " holds a control character");
            }
        }
        core::LaunchInputs fine = Typical();
        fine.folder = platform::ProgramFolder();
        fine.*field.field = "a b\xC3\xA9\x80~";
        EXPECT_NO_THROW(core::CheckLaunchInputs(fine)) << field.name;
    }
}

TEST(LaunchLine, AProgramFolderTheLineCannotCarryIsRefused) {
    std::vector<std::string> refused = {"/opt/a\"b/", "/opt/a\nb/"};
    if (platform::PathSeparator() == '/') {
        refused.push_back("/opt/a\\b/");
    }
    for (const std::string& folder : refused) {
        core::LaunchInputs in = Typical();
        in.folder = folder;
        EXPECT_THROW(core::CheckLaunchInputs(in), Exception) << folder;
    }
    core::LaunchInputs blanks = Typical();
    blanks.folder = platform::PathSeparator() == '/' ? "/opt/my tools & 100%/" : "C:\\My Tools\\";
    EXPECT_NO_THROW(core::CheckLaunchInputs(blanks));
}
