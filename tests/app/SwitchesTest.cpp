#include "app/Unit1.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

template <class W> W* Find(TForm1& form, const char* name) {
    return form.findChild<W*>(QString::fromLatin1(name));
}

} // namespace

TEST(Switches, AutoScalingFollowsTheBoxAndRunsOnlyOnRealChanges) {
    ProgramFolder folder;
    RecordingSink sink;
    auto form = folder.Start();
    auto* box = Find<QCheckBox>(*form, "CheckBox1");
    auto* label = Find<QLabel>(*form, "Label4");

    box->setChecked(false);
    EXPECT_EQ(box->text(), QStringLiteral("no autoscaling"));
    EXPECT_TRUE(label->text().isEmpty());
    box->setChecked(true);
    EXPECT_EQ(box->text(), QStringLiteral(" -autoscaling"));
    EXPECT_EQ(label->text(), QStringLiteral(" -autoscaling"));

    // Setting the state it already has runs nothing.
    label->setText(QStringLiteral("marker"));
    box->setChecked(true);
    EXPECT_EQ(label->text(), QStringLiteral("marker"));
}

TEST(Switches, StorePasswordEnablesTheFieldAndClearingItEmptiesTheField) {
    ProgramFolder folder;
    RecordingSink sink;
    auto form = folder.Start();
    auto* box = Find<QCheckBox>(*form, "CheckBox3");
    auto* password = Find<QLineEdit>(*form, "Edit4");
    auto* passwordSwitch = Find<QLineEdit>(*form, "Edit7");
    form->findChild<QWidget*>(QStringLiteral("PageControl1"))->setProperty("currentIndex", 2);

    QTest::mouseClick(box, Qt::LeftButton);
    ASSERT_TRUE(box->isChecked());
    EXPECT_TRUE(password->isEnabled());
    EXPECT_EQ(passwordSwitch->text(), QStringLiteral(" -password "));
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral("pa ss"));
    EXPECT_EQ(password->text(), QStringLiteral("pa ss"));
    EXPECT_EQ(password->displayText(), QStringLiteral("*****"));

    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(password->isEnabled());
    EXPECT_TRUE(password->text().isEmpty());
    EXPECT_TRUE(passwordSwitch->text().isEmpty());

    box->setChecked(true);
    EXPECT_TRUE(password->isEnabled());
    EXPECT_TRUE(password->text().isEmpty());
}

TEST(Switches, AutoReconnectIsHiddenAndKeepsItsTextsAfterALoadedTrueFlag) {
    ProgramFolder folder;
    RecordingSink sink;
    folder.Write("myviewer.ini", "[autoreconnect]\r\nsetting=1\r\n");
    auto form = folder.Start();
    auto* box = Find<QCheckBox>(*form, "CheckBox2");
    EXPECT_FALSE(box->isVisibleTo(form.get()));
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(Find<QLabel>(*form, "Label5")->text(), QStringLiteral(" -autoreconnect"));
    EXPECT_EQ(Find<QLabel>(*form, "Label6")->text(), QStringLiteral(" -connect"));
    box->setChecked(false);
    EXPECT_EQ(box->text(), QStringLiteral("no autoreconnect"));
    EXPECT_TRUE(Find<QLabel>(*form, "Label5")->text().isEmpty());
    EXPECT_TRUE(Find<QLabel>(*form, "Label6")->text().isEmpty());
}
