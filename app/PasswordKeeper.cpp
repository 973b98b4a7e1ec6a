#include "app/PasswordKeeper.h"

#include "app/Keyring.h"
#include "app/QtText.h"
#include "app/UserSettings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <memory>
#include <string_view>
#include <utility>

namespace {

// How long the window waits for the keyring: enough for a desktop that unlocks it on demand,
// short enough that a hung one does not hold the close.
constexpr int KeyringWait = 5000;

// Makes the request and calls then once: when the keyring answers it (true), or when its time is
// up (false), whichever comes first. Nothing waits in a loop of its own and nothing asks twice;
// the window goes on with its events meanwhile.
void AfterAnswer(QObject* context,
                 const std::function<void(const std::function<void()>& answered)>& request,
                 std::function<void(bool answered)> then) {
    auto pending = std::make_shared<std::function<void(bool)>>(std::move(then));
    const auto finish = [pending](bool answered) {
        if (*pending) {
            const auto call = std::exchange(*pending, nullptr);
            call(answered);
        }
    };
    QTimer::singleShot(KeyringWait, context, [finish] { finish(false); });
    request([finish, alive = QPointer<QObject>(context)] {
        if (alive) {
            finish(true);
        }
    });
}

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
    connect(&inKeyring_, &QCheckBox::clicked, this, [this](bool on) {
        chosen_ = true;
        turnedOff_ = turnedOff_ || !on;
    });
    // What the user types is the password, whatever the keyring holds.
    connect(&password_, &QLineEdit::textEdited, this, [this] { known_ = true; });
    connect(&store_, &QCheckBox::clicked, this, [this](bool on) {
        if (on && std::exchange(offerOnStore_, false) && !reading_) {
            Read(true);
        }
        if (!on) {
            // Nothing is to be stored: that much is known.
            known_ = true;
            turnedOff_ = true;
        }
    });
}

void PasswordKeeper::Start(const std::vector<std::string>& fileValues) {
    const size_t index = IndexOf(PasswordValue());
    const bool fileHoldsPassword = index < fileValues.size() && !fileValues[index].empty();
    const QVariant choice = UserSettings().value(ChoiceKey());
    if (choice.isValid()) {
        chosen_ = true;
        used_ = choice.toBool();
        inKeyring_.setChecked(used_);
        // Without "Store Password" there is no password to read.
        if (used_ && store_.isChecked()) {
            known_ = fileHoldsPassword;
            Read(false);
        }
    } else if (!fileHoldsPassword) {
        // No choice yet and nothing in the file: the keyring, when one answers. Without "Store
        // Password" there is nothing to keep: the keyring is first asked when it is ticked.
        if (store_.isChecked()) {
            Read(true);
        } else {
            offerOnStore_ = true;
        }
    }
}

void PasswordKeeper::Read(bool choose) {
    reading_ = true;
    QPointer<PasswordKeeper> self(this);
    SystemKeyring().Read(key_, [self, choose](Keyring::Answer answer, const QString& text) {
        if (!self || !self->reading_) {
            return;
        }
        self->reading_ = false;
        // Told last, once the answer is taken in, whichever way it went.
        const auto told = qScopeGuard([self] {
            if (self) {
                emit self->ReadDone();
            }
        });
        if (answer == Keyring::Answer::Failed) {
            if (!choose && !self->known_) {
                self->Say(QStringLiteral("The system keyring did not answer: the password kept "
                                         "in it cannot be read now"));
            }
            return;
        }
        if (choose) {
            self->inKeyring_.setChecked(true);
        }
        // A locked keyring answers as if it held nothing: for a book whose password it keeps,
        // "no such item" tells nothing, and the close writes nothing over the item.
        if (answer == Keyring::Answer::Missing && !choose) {
            self->missing_ = true;
            return;
        }
        self->known_ = true;
        if (answer == Keyring::Answer::Found) {
            self->used_ = true;
            self->itemThere_ = true;
            // Typed before the answer came, or a password the file still had: that one stays.
            if (self->store_.isChecked() && self->password_.text().isEmpty()) {
                self->password_.setText(text);
            }
        }
    });
    // A keyring that is locked may never answer: that is said while the window is open, not
    // first at its close.
    if (!choose) {
        QTimer::singleShot(KeyringWait, this, &PasswordKeeper::SayIfUnanswered);
    }
}

void PasswordKeeper::SayIfUnanswered() {
    if (reading_ && !known_) {
        Say(QStringLiteral("The system keyring has not answered: the password kept in it is not "
                           "known until it does"));
    }
}

QString PasswordKeeper::WhyUnknown() const {
    return missing_ ? QStringLiteral("No password for this book was found in the system keyring "
                                     "(it may be locked): type it in the password field, and "
                                     "connect again")
                    : QStringLiteral("The password is kept in the system keyring, which has not "
                                     "answered: type it in the password field, or unlock the "
                                     "keyring, and connect again");
}

void PasswordKeeper::Say(const QString& what) {
    if (!said_.contains(what)) {
        said_.append(what);
        emit Said(what);
    }
}

void PasswordKeeper::WhenRead(QObject* context, std::function<void()> then) {
    if (!reading_) {
        then();
        return;
    }
    AfterAnswer(
        context,
        [this, context](const std::function<void()>& answered) {
            connect(this, &PasswordKeeper::ReadDone, context, answered, Qt::SingleShotConnection);
        },
        [this, then = std::move(then)](bool answered) {
            if (!answered) {
                SayIfUnanswered();
            }
            then();
        });
}

void PasswordKeeper::Settle(std::function<void()> done) {
    WhenRead(this, [this, done = std::move(done)]() mutable { SettleRead(std::move(done)); });
}

void PasswordKeeper::Save(core::SettingsValues& values) const {
    // What the user typed after the keyring took the password stays in the file.
    if (outOfFile_ && password_.text() == tookOut_) {
        values.SetText(PasswordValue(), "");
    }
}

void PasswordKeeper::SettleRead(std::function<void()> done) {
    outOfFile_ = false;
    bool keep = inKeyring_.isChecked();
    if (!known_ && store_.isChecked()) {
        // Nothing was read and nothing typed: the keyring keeps its item as it is, and the file
        // holds no password, as before. Turned off now, it could not be moved back: it stays.
        if (!keep && !missing_) {
            Say(QStringLiteral("The password stays in the system keyring: it did not answer, so "
                               "the password could not be moved into myviewer.ini"));
            keep = true;
        }
        UserSettings().setValue(ChoiceKey(), keep);
        TakeOutOfFile(password_.text());
        done();
        return;
    }
    // A box left off only because no keyring answered is no choice: a keyring that answers at
    // a later start is still offered.
    if (keep || chosen_) {
        UserSettings().setValue(ChoiceKey(), keep);
    }
    const QString password = password_.text();
    if (keep && store_.isChecked()) {
        auto written = std::make_shared<bool>(false);
        AfterAnswer(
            this,
            [&](const std::function<void()>& answered) {
                SystemKeyring().Write(key_, password,
                                      [written, answered](Keyring::Answer answer, const QString&) {
                                          *written = answer == Keyring::Answer::Found;
                                          answered();
                                      });
            },
            [this, written, password, done = std::move(done)](bool) {
                if (*written) {
                    TakeOutOfFile(password);
                } else if (!password.isEmpty()) {
                    // The file keeps it: a password is never dropped because a keyring failed.
                    Say(QStringLiteral("The system keyring did not answer: the password stays in "
                                       "myviewer.ini"));
                }
                done();
            });
        return;
    }
    // Off, or nothing to store: an item left from before goes.
    if (used_ && (itemThere_ || turnedOff_)) {
        AfterAnswer(
            this,
            [this](const std::function<void()>& answered) {
                SystemKeyring().Remove(key_,
                                       [answered](Keyring::Answer, const QString&) { answered(); });
            },
            [done = std::move(done)](bool) { done(); });
        return;
    }
    done();
}

void PasswordKeeper::TakeOutOfFile(const QString& password) {
    outOfFile_ = true;
    tookOut_ = password;
}
