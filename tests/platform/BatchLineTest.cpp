#include "platform/BatchLine.h"

#include <gtest/gtest.h>

#include <random>

using platform::BatchLineWriter;
using platform::SplitCommandLine;
using platform::UnescapeBatchLine;
using Args = std::vector<std::string>;

TEST(BatchLine, PlainTextGoesInUnchangedAndSpecialsAreEscapedByQuoteState) {
    EXPECT_EQ(BatchLineWriter()
                  .Append("\"C:\\Tools\\")
                  .Append("Bin\\vncviewer.exe\" -proxy 1.2.3.4:5")
                  .Line(),
              "\"C:\\Tools\\Bin\\vncviewer.exe\" -proxy 1.2.3.4:5");
    EXPECT_EQ(BatchLineWriter().Append("123 & del *").Line(), "123 ^& del *");
    EXPECT_EQ(BatchLineWriter().Append("a^b|c<d>e%f").Line(), "a^^b^|c^<d^>e%%f");
    // Inside quotes only "%" is escaped; a quote in the data changes the state for what follows.
    EXPECT_EQ(BatchLineWriter().Append("\"a&b%\"&").Line(), "\"a&b%%\"^&");
    EXPECT_EQ(BatchLineWriter().Append("x\"y").Append(" & z").Line(), "x\"y & z");
    EXPECT_EQ(BatchLineWriter().Append("line\r\nbreak").Line(), "linebreak");
}

TEST(BatchLine, EveryStringSurvivesEscapeAndUnescape) {
    const std::string alphabet = "ab \"^&|<>%\\\t!x";
    std::mt19937 random(7);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 24);
        for (int i = 0; i < length; ++i) {
            text += alphabet[random() % alphabet.size()];
        }
        BatchLineWriter writer;
        writer.Append("\"/opt/p q/Bin\\vncviewer.exe\" -proxy ").Append(text).Append(" ID:1");
        EXPECT_EQ(UnescapeBatchLine(writer.Line()),
                  "\"/opt/p q/Bin\\vncviewer.exe\" -proxy " + text + " ID:1")
            << text;
    }
}

TEST(BatchLine, SplitsLikeTheWindowsRuntime) {
    EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\v.exe\" -a  b\t\"c d\" e\"f g\"h"),
              (Args{"C:\\Program Files\\v.exe", "-a", "b", "c d", "ef gh"}));
    // The program name takes backslashes as they are.
    EXPECT_EQ(SplitCommandLine("C:\\dir\\\"x y\" z"), (Args{"C:\\dir\\x y", "z"}));
    EXPECT_EQ(SplitCommandLine("p a\\\\\\\"b c\\\\\"d e\" f\\g"),
              (Args{"p", "a\\\"b", "c\\d e", "f\\g"}));
    EXPECT_EQ(SplitCommandLine("p \"a\"\"b\" \"\" x\\\\"), (Args{"p", "a\"b", "", "x\\\\"}));
    EXPECT_EQ(SplitCommandLine("p -password "), (Args{"p", "-password"}));
    EXPECT_EQ(SplitCommandLine("p \"unterminated rest"), (Args{"p", "unterminated rest"}));
}
