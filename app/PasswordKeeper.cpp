#include "app/PasswordKeeper.h"

#include "app/Keyring.h"
#include "app/QtText.h"
#include "app/UserSettings.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <string_view>

namespace {

// How long the window waits for the keyring: enough for a desktop that unlocks it on demand,
// short enough that a hung one does not hold the close.
constexpr int KeyringWait = 5000;

const core::SettingKey& PasswordValue() {
    for (const core::SettingKey& key : core::SettingsSchema) {
        if (std::string_view(key.section) == "password" && std::string_view(key.key) == "value") {
            return key;
        }
    }
    return core::SettingsSchema.front();
}

size_t IndexOf(const core::SettingKey& wanted) {
    return static_cast<size_t>(&wanted - core::SettingsSchema.data());
}

} // namespace

PasswordKeeper::PasswordKeeper(QCheckBox& store, QLineEdit& password, QCheckBox& inKeyring,
                               QString key, QObject* parent)
    : QObject(parent), store_(store), password_(password), inKeyring_(inKeyring),
      key_(std::move(key)) {
    inKeyring_.setEnabled(store_.isChecked());
    connect(&store_, &QCheckBox::toggled, &inKeyring_, &QWidget::setEnabled);
    connect(&inKeyring_, &QCheckBox::clicked, this, [this] { chosen_ = true; });
}

void PasswordKeeper::Start(const std::vector<std::string>& fileValues) {
    const size_t index = IndexOf(PasswordValue());
    const bool fileHoldsPassword = index < fileValues.size() && !fileValues[index].empty();
    const QVariant choice = UserSettings().value(ChoiceKey());
    if (choice.isValid()) {
        chosen_ = true;
        used_ = choice.toBool();
        inKeyring_.setChecked(used_);
        if (used_) {
            Read(false);
        }
    } else if (!fileHoldsPassword) {
        // No choice yet and nothing in the file: the keyring, when one answers.
        Read(true);
    }
}

void PasswordKeeper::Read(bool choose) {
    reading_ = true;
    QPointer<PasswordKeeper> self(this);
    SystemKeyring().Read(key_, [self, choose](Keyring::Answer answer, const QString& text) {
        if (!self) {
            return;
        }
        self->reading_ = false;
        if (answer == Keyring::Answer::Failed) {
            if (!choose) {
                self->Failed();
            }
            return;
        }
        if (choose) {
            self->inKeyring_.setChecked(true);
        }
        if (answer == Keyring::Answer::Found) {
            self->used_ = true;
            // Typed before the answer came, or a password the file still had: that one stays.
            if (self->store_.isChecked() && self->password_.text().isEmpty()) {
                self->password_.setText(text);
            }
        }
    });
}

void PasswordKeeper::Failed() {
    if (!failureSaid_) {
        failureSaid_ = true;
        emit Said(QStringLiteral("The system keyring did not answer: the password stays in "
                                 "myviewer.ini"));
    }
}

bool PasswordKeeper::Wait(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < KeyringWait) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

void PasswordKeeper::WaitForRead() {
    if (reading_ && !Wait([this] { return !reading_; })) {
        Failed();
    }
}

void PasswordKeeper::Save(core::SettingsValues& values) {
    const bool keep = inKeyring_.isChecked();
    // A box left off only because no keyring answered is no choice: a keyring that answers at
    // a later start is still offered.
    if (keep || chosen_) {
        UserSettings().setValue(ChoiceKey(), keep);
    }
    WaitForRead();
    const QString password = password_.text();
    if (keep && store_.isChecked()) {
        auto written = std::make_shared<bool>(false);
        auto answered = std::make_shared<bool>(false);
        SystemKeyring().Write(key_, password,
                              [written, answered](Keyring::Answer answer, const QString&) {
                                  *written = answer == Keyring::Answer::Found;
                                  *answered = true;
                              });
        Wait([answered] { return *answered; });
        if (*written) {
            values.SetText(PasswordValue(), "");
            return;
        }
        // The file keeps it: a password is never dropped because a keyring failed.
        Failed();
        return;
    }
    // Off, or nothing to store: an item left from before goes.
    if (used_) {
        auto answered = std::make_shared<bool>(false);
        SystemKeyring().Remove(key_,
                               [answered](Keyring::Answer, const QString&) { *answered = true; });
        Wait([answered] { return *answered; });
    }
}
