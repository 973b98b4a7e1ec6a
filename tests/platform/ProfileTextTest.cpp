#include "platform/ProfileText.h"

#include <gtest/gtest.h>

using platform::ProfileText;

TEST(ProfileText, ReadsValuesWithoutRegardToCaseTrimmedAndUnquoted) {
    const ProfileText text("; a comment\r\n"
                           "[Quality]\r\n"
                           "  Setting =  5  \r\n"
                           "[password]\n"
                           "value=\"  secret \"\n"
                           "single='x'\n"
                           "mixed=\"x'\n"
                           "lone=\"\n"
                           "inner=a \"b\" c\n"
                           "bare\n"
                           "empty=\n");
    EXPECT_EQ(text.Value("quality", "SETTING"), "5");
    EXPECT_EQ(text.Value("PASSWORD", "value"), "  secret ");
    EXPECT_EQ(text.Value("password", "single"), "x");
    EXPECT_EQ(text.Value("password", "mixed"), "\"x'");
    EXPECT_EQ(text.Value("password", "lone"), "\"");
    EXPECT_EQ(text.Value("password", "inner"), "a \"b\" c");
    EXPECT_EQ(text.Value("password", "empty"), "");
    // A key line without "=" has no value; a missing key or section has none either.
    EXPECT_EQ(text.Value("password", "bare"), std::nullopt);
    EXPECT_EQ(text.Value("password", "setting"), std::nullopt);
    EXPECT_EQ(text.Value("port", "viewer"), std::nullopt);
}

TEST(ProfileText, FirstMatchingSectionAndKeyWinAndValuesAreCapped) {
    const std::string longValue(10000, 'v');
    const ProfileText text("\xEF\xBB\xBF[a]\r\nk=1\r\nk=2\r\n[b]\r\nlong=" + longValue +
                           "\r\n[A]\r\nk=3\r\nonly=4\r\n");
    EXPECT_EQ(text.Value("a", "k"), "1");
    EXPECT_EQ(text.Value("b", "long"), std::string(ProfileText::MaxValueLength, 'v'));
    // Only the first section of a name is searched.
    EXPECT_EQ(text.Value("a", "only"), std::nullopt);
}

TEST(ProfileText, WritesInPlaceAtSectionEndAndAtFileEndKeepingEveryOtherLine) {
    ProfileText text("; keep me\n"
                     "[quality]\n"
                     "Setting = 3\n"
                     "unknown=stays\n"
                     "odd line without equals sign\n"
                     "\n"
                     "[other]\n"
                     "x=y\n");
    text.SetValue("QUALITY", "setting", "5");
    text.SetValue("quality", "auto", "1");
    text.SetValue("port", "viewer", "");
    text.SetValue("port", "second", "a\r\nforged=1");
    // Every line keeps its own ending; the lines written or added take the file's.
    EXPECT_EQ(text.Bytes(), "; keep me\n"
                            "[quality]\n"
                            "Setting=5\n"
                            "unknown=stays\n"
                            "odd line without equals sign\n"
                            "auto=1\n"
                            "\n"
                            "[other]\n"
                            "x=y\n"
                            "[port]\n"
                            "viewer=\n"
                            "second=a\n");
    EXPECT_TRUE(text.Changed());
}

TEST(ProfileText, LinesKeepTheirEndingsAndAnUnchangedTextIsNotChanged) {
    ProfileText mixed("[a]\r\nk=1\nj=2\rlast=3");
    mixed.SetValue("a", "k", "1");
    mixed.SetValue(" A ", "\tj", "2");
    EXPECT_FALSE(mixed.Changed());
    EXPECT_EQ(mixed.Bytes(), "[a]\r\nk=1\nj=2\rlast=3");
    mixed.SetValue("a", "new", "4");
    EXPECT_TRUE(mixed.Changed());
    EXPECT_EQ(mixed.Bytes(), "[a]\r\nk=1\nj=2\rlast=3\r\nnew=4\r\n");
    EXPECT_EQ(platform::ProfileDefault("dflt  "), "dflt");
    EXPECT_EQ(platform::ProfileDefault("   "), "");
}

TEST(ProfileText, EmptyTextGrowsSectionsInTheOrderOfWrites) {
    ProfileText text;
    text.SetValue("quality", "setting", "3");
    text.SetValue("quality", "auto", "1");
    text.SetValue("repeater", "lan", "1");
    text.SetValue("quality", "setting", "4");
    EXPECT_EQ(text.Bytes(), "[quality]\r\nsetting=4\r\nauto=1\r\n[repeater]\r\nlan=1\r\n");
}
