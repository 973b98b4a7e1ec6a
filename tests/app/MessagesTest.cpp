#include "app/Messages.h"
#include "support/RecordingSink.h"

#include <gtest/gtest.h>

TEST(Messages, ErrorReportAddsAFullStopOnlyAfterLettersAndDigits) {
    RecordingSink sink;
    ReportError("Cannot create file x");
    ReportError("List index out of bounds (-1)");
    ReportError("done!");
    ReportError("version 2");
    ReportError("already.");
    EXPECT_EQ(sink.errors,
              (QStringList{QStringLiteral("Cannot create file x."),
                           QStringLiteral("List index out of bounds (-1)"), QStringLiteral("done!"),
                           QStringLiteral("version 2."), QStringLiteral("already.")}));
    EXPECT_FALSE(Guarded([] { throw std::runtime_error("boom"); }));
    EXPECT_EQ(sink.errors.last(), QStringLiteral("boom."));
}
