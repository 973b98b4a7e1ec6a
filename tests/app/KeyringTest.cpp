// The password in the system keyring, through the window, against a keyring of the test's own
// (KEYRING_ROUND_TRIP: against the real Secret Service that test.sh starts).
#include "app/Keyring.h"
#include "app/ListBox.h"
#include "app/PasswordKeeper.h"
#include "app/UserSettings.h"
#include "support/FormAccess.h"
#include "support/ProgramFolder.h"
#include "support/RecordingSink.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <map>

namespace {

// Answers after a delay, or fails as a locked or missing keyring does.
class FakeKeyring final : public Keyring {
public:
    FakeKeyring() { SetKeyring(this); }
    ~FakeKeyring() override { SetKeyring(nullptr); }

    void Read(const QString& key, Done done) override {
        ++reads;
        Answer(
            [this, key, done] {
                const auto item = items.find(key);
                item == items.end() ? done(Answer::Missing, {}) : done(Answer::Found, item->second);
            },
            done);
    }
    void Write(const QString& key, const QString& password, Done done) override {
        Answer(
            [this, key, password, done] {
                items[key] = password;
                done(Answer::Found, {});
            },
            done);
    }
    void Remove(const QString& key, Done done) override {
        Answer(
            [this, key, done] {
                items.erase(key);
                done(Answer::Missing, {});
            },
            done);
    }

    std::map<QString, QString> items;
    int reads = 0;
    bool fails = false;
    // Never answers, as a keyring waiting to be unlocked.
    bool silent = false;
    int delay = 0;

private:
    void Answer(std::function<void()> answer, const Done& done) {
        if (silent) {
            return;
        }
        QTimer::singleShot(delay, [this, answer, done] {
            fails ? done(Keyring::Answer::Failed, QStringLiteral("locked")) : answer();
        });
    }
};

const char* const Ini =
    "[quality]\r\nsetting=3\r\nauto=1\r\n[repeater]\r\nlan=1\r\naddress=0\r\n"
    "address2=\r\n[password]\r\nvalue=%1\r\nstore=1\r\n[port]\r\nviewer=5901\r\n"
    "[autoscaling]\r\nsetting=1\r\n[autoreconnect]\r\nsetting=0\r\n";

std::string IniWith(const char* password) {
    return QString::fromLatin1(Ini).arg(QLatin1String(password)).toStdString();
}

class KeyringBox : public ::testing::Test {
protected:
    void SetUp() override {
        UserSettings().remove(PasswordKeeper::ChoiceKey());
        folder.Write("clientlist.txt", "Acme\r\n");
        folder.Write("clientIDlist.txt", "123456\r\n");
    }
    void TearDown() override { UserSettings().remove(PasswordKeeper::ChoiceKey()); }

    void Start() {
        form.reset(); // the closed window lets its book go first
        form = folder.Start();
        box = Find<QCheckBox>(*form, "KeyringBox");
        password = Find<QLineEdit>(*form, "Edit4");
    }
    // Waits for the start's read, as Connect does.
    void Settle() {
        WaitFor([] { return false; }, 50);
    }
    void CloseAndCheck(const char* value) {
        ASSERT_TRUE(CloseWindow(*form));
        EXPECT_EQ(folder.Read("myviewer.ini"), IniWith(value));
    }
    // The line Connect writes for the selected client, once the keyring's read is done (or
    // what it says instead).
    std::string Line() {
        Find<ListBox>(*form, "ListBox1")->SetItemIndex(0);
        Find<ListBox>(*form, "ListBox2")->SetItemIndex(0);
        const qsizetype said = sink.messages.size();
        QTest::mouseClick(Find<QPushButton>(*form, "Button2"), Qt::LeftButton);
        WaitFor([&] { return folder.Exists("vncviewer.bat") || sink.messages.size() > said; });
        return folder.Read("vncviewer.bat");
    }
    QString Key() const { return KeyringKey(QString::fromStdString(folder.Path())); }

    ProgramFolder folder;
    RecordingSink sink;
    FakeKeyring keyring;
    std::unique_ptr<TForm1> form;
    QCheckBox* box = nullptr;
    QLineEdit* password = nullptr;
};

} // namespace

TEST_F(KeyringBox, ANewUserGetsTheKeyringAndThePasswordComesBackFromIt) {
    folder.Write("myviewer.ini", IniWith(""));
    Start();
    Settle();
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(box->isEnabled());
    password->setText(QStringLiteral("s3cret pw"));
    CloseAndCheck("");
    EXPECT_EQ(keyring.items[Key()], QStringLiteral("s3cret pw"));

    // The next start reads it back in the background; Connect waits for it, and the line is
    // the one the file would have given.
    folder.InstallViewer();
    keyring.delay = 1500;
    Start();
    EXPECT_TRUE(password->text().isEmpty());
    EXPECT_NE(Line().find(" -password s3cret pw"), std::string::npos);
    EXPECT_EQ(password->text(), QStringLiteral("s3cret pw"));
    EXPECT_TRUE(sink.notices.isEmpty()) << sink.notices.join(u'\n').toStdString();
}

TEST_F(KeyringBox, APasswordInTheFileStaysThereUntilTheBoxMovesItAndBack) {
    folder.Write("myviewer.ini", IniWith("old"));
    Start();
    Settle();
    EXPECT_FALSE(box->isChecked());
    CloseAndCheck("old");
    EXPECT_TRUE(keyring.items.empty());

    Start();
    box->setChecked(true);
    CloseAndCheck("");
    EXPECT_EQ(keyring.items[Key()], QStringLiteral("old"));

    Start();
    Settle();
    EXPECT_EQ(password->text(), QStringLiteral("old"));
    box->setChecked(false);
    CloseAndCheck("old");
    EXPECT_TRUE(keyring.items.empty());
}

TEST_F(KeyringBox, AKeyringThatFailsIsSaidOnceAndThePasswordStaysInTheFile) {
    UserSettings().setValue(PasswordKeeper::ChoiceKey(), true);
    folder.Write("myviewer.ini", IniWith(""));
    keyring.fails = true;
    Start();
    Settle();
    const QString unread = QStringLiteral("The system keyring did not answer: the password kept "
                                          "in it cannot be read now");
    EXPECT_EQ(sink.notices, QStringList{unread});
    QTest::keyClicks(password, QStringLiteral("typed"));
    CloseAndCheck("typed");
    EXPECT_EQ(sink.notices,
              (QStringList{unread, QStringLiteral("The system keyring did not answer: the "
                                                  "password stays in myviewer.ini")}));
    // Without a choice and without an answer, the box stays off and nothing is said.
    UserSettings().remove(PasswordKeeper::ChoiceKey());
    sink.notices.clear();
    folder.Write("myviewer.ini", IniWith(""));
    Start();
    Settle();
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(sink.notices.isEmpty()) << sink.notices.join(u'\n').toStdString();
    // Nor is that a choice: once a keyring answers, the next start offers it.
    CloseAndCheck("");
    keyring.fails = false;
    Start();
    Settle();
    EXPECT_TRUE(box->isChecked());
}

// A keyring that holds the password but does not answer at start, because it is locked or not
// started yet: the password is unknown, never empty. The close leaves the item alone, Connect
// asks for it instead of sending none, and once the keyring answers it is all there.
TEST_F(KeyringBox, ALockedOrLateKeyringNeverLosesThePassword) {
    UserSettings().setValue(PasswordKeeper::ChoiceKey(), true);
    folder.Write("myviewer.ini", IniWith(""));
    folder.InstallViewer();
    keyring.items[Key()] = QStringLiteral("kept pw");

    keyring.silent = true;
    Start();
    Settle();
    Line();
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    EXPECT_EQ(sink.messages.last(),
              QStringLiteral("The password is kept in the system keyring, which has not "
                             "answered: type it in the password field, or unlock the keyring, "
                             "and connect again"));
    EXPECT_EQ(sink.notices, QStringList{QStringLiteral("The system keyring has not answered: the "
                                                       "password kept in it is not known until "
                                                       "it does")});
    CloseAndCheck("");
    EXPECT_EQ(keyring.items[Key()], QStringLiteral("kept pw"));

    // Locked: the read fails. Turning the box off then cannot move the password: it stays.
    keyring.silent = false;
    keyring.fails = true;
    Start();
    Settle();
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(box->isChecked());
    CloseAndCheck("");
    EXPECT_EQ(keyring.items[Key()], QStringLiteral("kept pw"));
    EXPECT_TRUE(UserSettings().value(PasswordKeeper::ChoiceKey()).toBool());

    keyring.fails = false;
    Start();
    Settle();
    EXPECT_EQ(password->text(), QStringLiteral("kept pw"));
    EXPECT_NE(Line().find(" -password kept pw"), std::string::npos);
}

// Without "Store Password" there is no password to read: the start asks the keyring nothing,
// and ticking the box offers it as a first start with the box ticked would.
TEST_F(KeyringBox, NoPasswordToStoreAsksTheKeyringNothingUntilTheBoxIsTicked) {
    std::string ini = IniWith("");
    ini.replace(ini.find("store=1"), 7, "store=0");
    folder.Write("myviewer.ini", ini);
    Start();
    Settle();
    EXPECT_EQ(keyring.reads, 0);
    EXPECT_FALSE(box->isChecked());
    QTest::mouseClick(Find<QCheckBox>(*form, "CheckBox3"), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return box->isChecked(); }));
    EXPECT_EQ(keyring.reads, 1);
    password->setText(QStringLiteral("later pw"));
    CloseAndCheck("");
    EXPECT_EQ(keyring.items[Key()], QStringLiteral("later pw"));
}

// A keyring that takes its time holds neither Connect nor the close inside a loop of their own:
// the window goes on (its timers run), and each finishes once the keyring answers.
TEST_F(KeyringBox, ConnectAndTheCloseWaitForTheKeyringWithoutHoldingTheWindow) {
    UserSettings().setValue(PasswordKeeper::ChoiceKey(), true);
    folder.Write("myviewer.ini", IniWith(""));
    folder.InstallViewer();
    keyring.items[Key()] = QStringLiteral("slow pw");
    keyring.delay = 1000;
    Start();
    Find<ListBox>(*form, "ListBox1")->SetItemIndex(0);
    Find<ListBox>(*form, "ListBox2")->SetItemIndex(0);
    bool ticked = false;
    QTimer::singleShot(100, [&] { ticked = true; });
    auto* connect = Find<QPushButton>(*form, "Button2");
    QTest::mouseClick(connect, Qt::LeftButton);
    EXPECT_FALSE(ticked);
    EXPECT_TRUE(form->KeyringWait());
    EXPECT_FALSE(folder.Exists("vncviewer.bat"));
    ASSERT_TRUE(WaitFor([&] { return folder.Exists("vncviewer.bat"); }));
    EXPECT_TRUE(ticked);
    EXPECT_NE(folder.Read("vncviewer.bat").find(" -password slow pw"), std::string::npos);

    // The close: the window stays until the keyring has the password, then goes, the file
    // without it.
    password->setText(QStringLiteral("new pw"));
    ticked = false;
    QTimer::singleShot(100, [&] { ticked = true; });
    form->close();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->KeyringWait());
    form->close();
    ASSERT_TRUE(WaitFor([&] { return !form->isVisible(); }));
    EXPECT_TRUE(ticked);
    EXPECT_EQ(folder.Read("myviewer.ini"), IniWith(""));
    EXPECT_EQ(keyring.items[Key()], QStringLiteral("new pw"));
}

namespace {

// Against the real Secret Service: test.sh runs these with a private session bus and an
// unlocked keyring daemon of its own. A new user's book, without a password in its file.
class RealKeyring : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("MBV_REAL_KEYRING")) {
            GTEST_SKIP() << "runs with the keyring daemon test.sh starts";
        }
        UserSettings().remove(PasswordKeeper::ChoiceKey());
        folder.Write("clientlist.txt", "Acme\r\n");
        folder.Write("clientIDlist.txt", "123456\r\n");
        folder.Write("myviewer.ini", IniWith(""));
    }
    void TearDown() override { UserSettings().remove(PasswordKeeper::ChoiceKey()); }

    ProgramFolder folder;
    RecordingSink sink;
};

} // namespace

TEST_F(RealKeyring, ThePasswordGoesIntoTheKeyringAndComesBackAfterARestart) {
    std::unique_ptr<TForm1> form = folder.Start();
    auto* box = Find<QCheckBox>(*form, "KeyringBox");
    ASSERT_TRUE(WaitFor([&] { return box->isChecked(); }, 10000)) << "no keyring answered";
    Find<QLineEdit>(*form, "Edit4")->setText(QStringLiteral("round trip"));
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("myviewer.ini"), IniWith(""));
    // Nor in any other file of the program's, nor in the user's settings.
    for (const QString& root :
         {QString::fromStdString(folder.Path()), QFileInfo(UserSettings().fileName()).path()}) {
        QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            EXPECT_FALSE(file.readAll().contains("round trip")) << file.fileName().toStdString();
        }
    }

    form.reset();
    form = folder.Start();
    auto* password = Find<QLineEdit>(*form, "Edit4");
    EXPECT_TRUE(WaitFor([&] { return !password->text().isEmpty(); }, 10000));
    EXPECT_EQ(password->text(), QStringLiteral("round trip"));
    // Moved back into the file, the item goes.
    Find<QCheckBox>(*form, "KeyringBox")->setChecked(false);
    ASSERT_TRUE(CloseWindow(*form));
    EXPECT_EQ(folder.Read("myviewer.ini"), IniWith("round trip"));
    bool gone = false;
    SystemKeyring().Read(
        KeyringKey(QString::fromStdString(folder.Path())),
        [&](Keyring::Answer answer, const QString&) { gone = answer == Keyring::Answer::Missing; });
    EXPECT_TRUE(WaitFor([&] { return gone; }, 10000));
    EXPECT_TRUE(sink.notices.isEmpty()) << sink.notices.join(u'\n').toStdString();
}

// Against the real Secret Service: a keyring locked after the password went into it. The window
// cannot read it, says so, and its close leaves the item as it was; unlocked again, it is there.
TEST_F(RealKeyring, ALockedKeyringKeepsThePasswordThroughAClose) {
    {
        std::unique_ptr<TForm1> form = folder.Start();
        auto* box = Find<QCheckBox>(*form, "KeyringBox");
        ASSERT_TRUE(WaitFor([&] { return box->isChecked(); }, 10000)) << "no keyring answered";
        QTest::keyClicks(Find<QLineEdit>(*form, "Edit4"), QStringLiteral("locked pw"));
        ASSERT_TRUE(CloseWindow(*form));
    }
    const auto secrets = [](const QStringList& call) {
        return QProcess::execute(QStringLiteral("dbus-send"),
                                 QStringList{QStringLiteral("--session"),
                                             QStringLiteral("--print-reply"),
                                             QStringLiteral("--dest=org.freedesktop.secrets")} +
                                     call);
    };
    ASSERT_EQ(secrets({QStringLiteral("/org/freedesktop/secrets"),
                       QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                       QStringLiteral("array:objpath:/org/freedesktop/secrets/collection/login")}),
              0);
    {
        std::unique_ptr<TForm1> form = folder.Start();
        folder.InstallViewer();
        WaitFor([] { return false; }, 1000);
        // Whether the locked keyring refuses, says it holds nothing or never answers, Connect
        // sends no password and says why.
        Find<ListBox>(*form, "ListBox1")->SetItemIndex(0);
        Find<ListBox>(*form, "ListBox2")->SetItemIndex(0);
        QTest::mouseClick(Find<QPushButton>(*form, "Button2"), Qt::LeftButton);
        WaitFor([&] { return !sink.messages.isEmpty(); });
        EXPECT_FALSE(folder.Exists("vncviewer.bat"));
        EXPECT_TRUE(sink.messages.value(0).contains(QStringLiteral("system keyring")))
            << sink.messages.join(u'|').toStdString();
        ASSERT_TRUE(CloseWindow(*form));
        EXPECT_EQ(folder.Read("myviewer.ini"), IniWith(""));
    }
    // Unlocked: the daemon started again with the keyring's password. A new process reads the
    // item (this one's connection to the keyring went with the daemon it replaced).
    QProcess unlock;
    unlock.start(QStringLiteral("gnome-keyring-daemon"),
                 {QStringLiteral("--replace"), QStringLiteral("--unlock"),
                  QStringLiteral("--components=secrets")});
    ASSERT_TRUE(unlock.waitForStarted());
    unlock.write("mbv-test");
    unlock.closeWriteChannel();
    ASSERT_TRUE(unlock.waitForFinished(10000));
    QProcess reader;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MBV_KEYRING_ITEM"),
                       KeyringKey(QString::fromStdString(folder.Path())));
    environment.insert(QStringLiteral("MBV_KEYRING_HOLDS"), QStringLiteral("locked pw"));
    reader.setProcessEnvironment(environment);
    reader.setProcessChannelMode(QProcess::ForwardedChannels);
    reader.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=RealKeyringItem.HoldsThePassword")});
    ASSERT_TRUE(reader.waitForFinished(30000));
    EXPECT_EQ(reader.exitCode(), 0);
}

// The other half of the test above, in a process of its own.
TEST(RealKeyringItem, HoldsThePassword) {
    if (qEnvironmentVariableIsEmpty("MBV_KEYRING_ITEM")) {
        GTEST_SKIP() << "run by ALockedKeyringKeepsThePasswordThroughAClose";
    }
    bool answered = false;
    QString held;
    SystemKeyring().Read(qEnvironmentVariable("MBV_KEYRING_ITEM"),
                         [&](Keyring::Answer answer, const QString& text) {
                             answered = true;
                             held = answer == Keyring::Answer::Found ? text : QStringLiteral("-");
                         });
    ASSERT_TRUE(WaitFor([&] { return answered; }, 10000));
    EXPECT_EQ(held, qEnvironmentVariable("MBV_KEYRING_HOLDS"));
}
