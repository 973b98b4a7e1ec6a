#include "core/Settings.h"
#include "platform/ProfileFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

class Settings : public ::testing::Test {
protected:
    void Save(const core::SettingsValues& values) const {
        platform::ProfileFile file(path_);
        core::WriteSettings(file, values);
        ASSERT_TRUE(file.Flush());
    }
    std::string Read() const { return dir_.Read("myviewer.ini"); }

    TempFolder dir_{"mbv-settings"};
    std::string path_ = dir_.File("myviewer.ini");
};

const core::SettingKey& Key(const char* section, const char* key) {
    for (const auto& entry : core::SettingsSchema) {
        if (std::string(entry.section) == section && std::string(entry.key) == key) {
            return entry;
        }
    }
    throw std::runtime_error("no such key");
}

} // namespace

TEST_F(Settings, AMissingFileGivesEveryDefault) {
    const core::SettingsReader reader(path_);
    EXPECT_EQ(reader.Text(Key("quality", "setting")), "3");
    EXPECT_TRUE(reader.Flag(Key("repeater", "lan")));
    EXPECT_FALSE(reader.Flag(Key("repeater", "address")));
    EXPECT_EQ(reader.Text(Key("password", "value")), "");
    EXPECT_EQ(reader.Text(Key("repeater", "address2")), "");
    EXPECT_EQ(reader.Text(Key("port", "viewer")), "");
    EXPECT_FALSE(reader.Flag(Key("password", "store")));
    EXPECT_TRUE(reader.Flag(Key("autoscaling", "setting")));
    EXPECT_FALSE(reader.Flag(Key("autoreconnect", "setting")));
}

TEST_F(Settings, EveryKeyGoesOutInItsOrderAndComesBackAsWritten) {
    core::SettingsValues values;
    values.SetText(Key("quality", "setting"), "5");
    values.SetFlag(Key("repeater", "lan"), false);
    values.SetFlag(Key("repeater", "address"), true);
    values.SetText(Key("password", "value"), "pw d");
    values.SetText(Key("repeater", "address2"), "rep.example");
    values.SetText(Key("port", "viewer"), "5901");
    values.SetFlag(Key("password", "store"), true);
    values.SetFlag(Key("autoscaling", "setting"), false);
    values.SetFlag(Key("autoreconnect", "setting"), true);
    Save(values);
    EXPECT_EQ(Read(), "[quality]\r\nsetting=5\r\nauto=1\r\n"
                      "[repeater]\r\nlan=0\r\naddress=1\r\naddress2=rep.example\r\n"
                      "[password]\r\nvalue=pw d\r\nstore=1\r\n"
                      "[port]\r\nviewer=5901\r\n"
                      "[autoscaling]\r\nsetting=0\r\n"
                      "[autoreconnect]\r\nsetting=1\r\n");
    const core::SettingsReader reader(path_);
    EXPECT_EQ(reader.Text(Key("quality", "setting")), "5");
    EXPECT_FALSE(reader.Flag(Key("repeater", "lan")));
    EXPECT_TRUE(reader.Flag(Key("repeater", "address")));
    EXPECT_EQ(reader.Text(Key("password", "value")), "pw d");
    EXPECT_TRUE(reader.Flag(Key("autoreconnect", "setting")));
}

TEST_F(Settings, FlagsReadAnyIntegerAndOtherwiseTheirDefault) {
    dir_.Write("myviewer.ini",
               "[repeater]\r\nlan=yes\r\naddress=0x10\r\n[autoscaling]\r\nsetting=0\r\n"
               "[autoreconnect]\r\nsetting=$2\r\n[password]\r\nstore=\r\n");
    const core::SettingsReader reader(path_);
    EXPECT_TRUE(reader.Flag(Key("repeater", "lan")));
    EXPECT_TRUE(reader.Flag(Key("repeater", "address")));
    EXPECT_FALSE(reader.Flag(Key("autoscaling", "setting")));
    EXPECT_TRUE(reader.Flag(Key("autoreconnect", "setting")));
    EXPECT_FALSE(reader.Flag(Key("password", "store")));
}
