#include "controls/Numedit.h"
#include "base/Exception.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

class NumEdit : public ::testing::Test {
protected:
    void SetUp() override {
        saved = TNumEdit::DecimalSeparator();
        edit.show();
        edit.setFocus();
    }
    void TearDown() override { TNumEdit::SetDecimalSeparator(saved); }

    QString Type(const QString& start, const QString& keys) {
        edit.setText(start);
        QTest::keyClicks(&edit, keys);
        return edit.text();
    }

    QChar saved;
    TNumEdit edit;
};

} // namespace

TEST_F(NumEdit, StartsAtZeroLeftAlignedWithNothingPermitted) {
    EXPECT_EQ(edit.text(), QStringLiteral("0"));
    EXPECT_FALSE(edit.PermitirNeg());
    EXPECT_FALSE(edit.PermitirDec());
    EXPECT_EQ(edit.Alineacion(), TNumEdit::alIzq);
    edit.SetAlignment(TNumEdit::alDer);
    EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
    edit.SetAlignment(TNumEdit::alCentro);
    EXPECT_TRUE(edit.alignment() & Qt::AlignHCenter);
}

TEST_F(NumEdit, TypingAdmitsDigitsAndBackspaceOnly) {
    TNumEdit::SetDecimalSeparator(u'.');
    EXPECT_EQ(Type({}, QStringLiteral("1-2.3,4 x5")), QStringLiteral("12345"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("1234"));
    // Enter and control characters from key combinations are dropped.
    for (const char letter : {'C', 'V', 'X', 'Z', 'A'}) {
        QTest::keyClick(&edit, Qt::Key(letter), Qt::ControlModifier);
    }
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(edit.text(), QStringLiteral("1234"));
    // Keys without a character are not filtered.
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    QTest::keyClick(&edit, Qt::Key_End);
    QTest::keyClick(&edit, Qt::Key_Left);
    QTest::keyClicks(&edit, QStringLiteral("9"));
    EXPECT_EQ(edit.text(), QStringLiteral("2394"));
    // Text from code or a paste is not filtered.
    edit.setText(QStringLiteral("abc"));
    edit.insert(QStringLiteral("-x"));
    EXPECT_EQ(edit.text(), QStringLiteral("abc-x"));
}

TEST_F(NumEdit, SignOnlyFirstAndOneSeparatorWhereverTheCaretIs) {
    TNumEdit::SetDecimalSeparator(u'.');
    edit.SetPermitirNeg(true);
    edit.SetPermitirDec(true);
    EXPECT_EQ(Type({}, QStringLiteral("-12,5.6")), QStringLiteral("-12.56"));
    edit.setText(QStringLiteral("5"));
    edit.setCursorPosition(0);
    QTest::keyClicks(&edit, QStringLiteral("-"));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("-"));
    EXPECT_EQ(edit.text(), QStringLiteral("5"));
    EXPECT_EQ(Type({}, QStringLiteral(".")), QStringLiteral("."));
    edit.setText(QStringLiteral("1.5"));
    edit.setCursorPosition(0);
    QTest::keyClicks(&edit, QStringLiteral(","));
    EXPECT_EQ(edit.text(), QStringLiteral("1.5"));

    // Either key types the locale's separator.
    TNumEdit::SetDecimalSeparator(u',');
    EXPECT_EQ(Type({}, QStringLiteral("3.")), QStringLiteral("3,"));
    EXPECT_EQ(Type({}, QStringLiteral("3,")), QStringLiteral("3,"));
}

TEST_F(NumEdit, WritersNormaliseTheText) {
    TNumEdit::SetDecimalSeparator(u'.');
    const auto afterNeg = [&](const char* text, bool value) {
        edit.setText(QString::fromLatin1(text));
        edit.SetPermitirNeg(value);
        return edit.text();
    };
    const auto afterDec = [&](const char* text, bool value) {
        edit.setText(QString::fromLatin1(text));
        edit.SetPermitirDec(value);
        return edit.text();
    };
    EXPECT_EQ(afterNeg("-7", false), QStringLiteral("7"));
    EXPECT_EQ(afterNeg("7", false), QStringLiteral("7"));
    EXPECT_EQ(afterNeg("-2.50", false), QStringLiteral("2.5"));
    EXPECT_EQ(afterNeg("-7", true), QStringLiteral("-7"));
    EXPECT_EQ(afterNeg("-", true), QString());
    EXPECT_EQ(afterNeg("-", false), QString());
    EXPECT_EQ(afterDec("3.7", true), QStringLiteral("4"));
    EXPECT_EQ(afterDec("3.7", false), QStringLiteral("4"));
    EXPECT_EQ(afterDec("-2.5", false), QStringLiteral("-2"));
    EXPECT_EQ(afterDec("2.5", false), QStringLiteral("2"));
    EXPECT_EQ(afterDec("3.5", false), QStringLiteral("4"));
    EXPECT_EQ(afterDec("-0.4", false), QStringLiteral("0"));
    EXPECT_EQ(afterDec("007", false), QStringLiteral("7"));
    EXPECT_EQ(afterDec("0", false), QStringLiteral("0"));
    EXPECT_EQ(afterDec("-", true), QString());

    TNumEdit::SetDecimalSeparator(u',');
    EXPECT_EQ(afterNeg("-1,25", false), QStringLiteral("1,25"));
    EXPECT_EQ(edit.DarValor().toDouble(), 1.25);
}

TEST_F(NumEdit, NonNumbersRaiseTheConversionErrorAndStayAsTheyWere) {
    TNumEdit::SetDecimalSeparator(u'.');
    edit.setText(QStringLiteral("12a"));
    try {
        edit.SetPermitirNeg(true);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid floating point value");
    }
    EXPECT_TRUE(edit.PermitirNeg());
    EXPECT_EQ(edit.text(), QStringLiteral("12a"));
    EXPECT_THROW(edit.SetPermitirDec(true), EConvertError);
    EXPECT_TRUE(edit.PermitirDec());
    edit.clear();
    try {
        edit.DarValor();
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
    }
    edit.setText(QStringLiteral("-1.5e2"));
    EXPECT_EQ(edit.DarValor().toDouble(), -150.0);
    for (const char* bad : {"1..2", ".", "e5", "1e", "1,5", " 1"}) {
        edit.setText(QString::fromLatin1(bad));
        EXPECT_THROW(edit.DarValor(), EConvertError) << bad;
    }
}
