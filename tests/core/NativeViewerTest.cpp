#include "core/NativeViewer.h"

#include "base/Exception.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

core::LaunchInputs Example(const std::string& port = "5901") {
    // Built, never assigned: GCC's optimiser warns of a string assigned from a literal.
    return core::LaunchInputs{.folder = {},
                              .quote = {},
                              .host = "192.0.2.10",
                              .port = port,
                              .autoreconnect = " -autoreconnect",
                              .connect = " -connect",
                              .id = "123456",
                              .quality = "1",
                              .autoscaling = " -autoscaling",
                              .passwordSwitch = {},
                              .password = {}};
}

TEST(NativeViewer, TheLinesSettingsBecomeTheViewersArgumentsAndThePasswordItsInput) {
    core::LaunchInputs in = Example();
    core::NativeLaunch launch = core::NativeViewerLaunch(in);
    EXPECT_EQ(launch.arguments,
              (Args{"-notty", "-repeater", "ID:123456", "-scale", "auto", "192.0.2.10::5901"}));
    EXPECT_EQ(launch.input, "");
    EXPECT_EQ(launch.repeater, "192.0.2.10:5901");

    // Stored, the password goes to the viewer's input, never among its arguments; an empty one
    // is still a password.
    in.passwordSwitch = " -password ";
    in.password = "s3cret pw";
    in.autoscaling.clear();
    launch = core::NativeViewerLaunch(in);
    EXPECT_EQ(launch.arguments,
              (Args{"-notty", "-repeater", "ID:123456", "-autopass", "192.0.2.10::5901"}));
    EXPECT_EQ(launch.input, "s3cret pw\n");
    for (const std::string& argument : launch.arguments) {
        EXPECT_EQ(argument.find("s3cret"), std::string::npos);
    }
    in.password.clear();
    EXPECT_EQ(core::NativeViewerLaunch(in).input, "\n");

    // A port of one digit is a port, never a display number.
    EXPECT_EQ(core::NativeViewerLaunch(Example("1")).arguments.back(), "192.0.2.10::1");
}

TEST(NativeViewer, EachQualityPresetHasItsOwnOptionsAndOtherValuesNone) {
    const struct {
        const char* quality;
        Args arguments;
    } rows[] = {
        {"1", {}},
        {"2", {"-encodings", "copyrect hextile zrle", "-compresslevel", "1", "-nojpeg"}},
        {"3",
         {"-encodings", "copyrect tight zrle", "-quality", "6", "-compresslevel", "6", "-bgr233"}},
        {"4",
         {"-encodings", "copyrect tight zrle", "-quality", "3", "-compresslevel", "9", "-bgr233",
          "-use64"}},
        {"5",
         {"-encodings", "copyrect tight zrle", "-quality", "0", "-compresslevel", "9", "-bgr233",
          "-use8"}},
        {"7", {"-encodings", "copyrect zrle tight", "-quality", "9", "-compresslevel", "1"}},
        {"", {}},
        {"6", {}},
        {"3 -via evil", {}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(core::QualityArguments(row.quality), row.arguments) << row.quality;
    }
}

TEST(NativeViewer, AnAddressOrPortTheViewerCouldMisreadIsRefused) {
    const struct {
        const char* host;
        const char* port;
        const char* error;
    } rows[] = {
        {"", "5901", "Cannot connect: type the repeater's address on the Settings page"},
        {"-via", "5901", "Cannot connect: the repeater address \"-via\" is not an address"},
        {"a b", "5901", "Cannot connect: the repeater address \"a b\" is not an address"},
        {"host", "", "Cannot connect: type the repeater's port on the Settings page"},
        {"host", "0", "Cannot connect: the port 0 is not one from 1 to 65535"},
        {"host", "65536", "Cannot connect: the port 65536 is not one from 1 to 65535"},
        {"host", "123456", "Cannot connect: the port 123456 is not one from 1 to 65535"},
        {"host", "-1", "Cannot connect: the port -1 is not one from 1 to 65535"},
    };
    for (const auto& row : rows) {
        core::LaunchInputs in = Example();
        in.host = row.host;
        in.port = row.port;
        try {
            core::NativeViewerLaunch(in);
            ADD_FAILURE() << row.host << " " << row.port;
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(), row.error);
        }
    }
}

TEST(NativeViewer, TheViewersOutputTellsHowFarItGotAndWhatItLastSaid) {
    EXPECT_EQ(core::NewsIn("Connected to RFB server, using protocol version 3.8"),
              core::ViewerNews::ServerReached);
    EXPECT_EQ(core::NewsIn("Desktop name \"vm:91\""), core::ViewerNews::DesktopShown);
    EXPECT_EQ(core::NewsIn("ssvncviewer: VNC server closed connection"),
              core::ViewerNews::ServerClosed);
    EXPECT_EQ(core::NewsIn("sending 'ID:4321' to repeater..."), core::ViewerNews::None);

    EXPECT_EQ(core::LastWords({"VNC authentication failed.", "Reason: password check failed!", "",
                               "", "2026/12/10 07:27:11 VNC Viewer exiting.", ""}),
              "Reason: password check failed!");
    EXPECT_EQ(core::LastWords({"2026/12/10 07:27:11 Unable to connect\r"}), "Unable to connect");
    EXPECT_EQ(core::LastWords({}), "");
    // A server's reason is its own text: nothing in it may hide or reorder what is shown.
    EXPECT_EQ(core::LastWords({"Reason: Call \xE2\x80\xAE"
                               "4321 now\x1B[2J"}),
              "Reason: Call 4321 now[2J");
    // 300 characters and "…".
    EXPECT_EQ(core::LastWords({std::string(5000, 'x')}), std::string(300, 'x') + "\xE2\x80\xA6");
}

TEST(NativeViewer, AnEndIsTheTechniciansALossOrAFailure) {
    using core::ViewerEnd;
    EXPECT_EQ(core::JudgeEnd(true, 0, true, false), ViewerEnd::Closed);
    EXPECT_EQ(core::JudgeEnd(true, 0, true, true), ViewerEnd::Lost);
    EXPECT_EQ(core::JudgeEnd(true, 1, true, false), ViewerEnd::Lost);
    EXPECT_EQ(core::JudgeEnd(false, 9, true, false), ViewerEnd::Lost);
    EXPECT_EQ(core::JudgeEnd(true, 0, false, false), ViewerEnd::Closed);
    EXPECT_EQ(core::JudgeEnd(true, 1, false, false), ViewerEnd::Failed);
    EXPECT_EQ(core::JudgeEnd(true, 0, false, true), ViewerEnd::Failed);
    EXPECT_EQ(core::JudgeEnd(false, 11, false, false), ViewerEnd::Failed);
}

} // namespace
