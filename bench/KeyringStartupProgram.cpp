// The program as it ships with "Keep it in the system keyring" on and a keyring that answers
// only after two seconds, quitting right after its first painted frame: the read must not hold
// the window back.
#include "FirstPaint.h"
#include "app/Keyring.h"
#include "app/PasswordKeeper.h"
#include "app/Program.h"
#include "app/UserSettings.h"

#include <QTimer>

namespace {

class SlowKeyring final : public Keyring {
public:
    void Read(const QString&, Done done) override { Later(done, Answer::Found); }
    void Write(const QString&, const QString&, Done done) override { Later(done, Answer::Found); }
    void Remove(const QString&, Done done) override { Later(done, Answer::Missing); }

private:
    static void Later(Done done, Answer answer) {
        QTimer::singleShot(2000, [done, answer] { done(answer, QStringLiteral("pw")); });
    }
};

} // namespace

int main(int argc, char* argv[]) {
    SlowKeyring keyring;
    SetKeyring(&keyring);
    // The user's settings are the run's own: bench/keyring_startup.py points them at a
    // temporary folder.
    UserSettings().setValue(PasswordKeeper::ChoiceKey(), true);
    return RunProgram(argc, argv, QuitAfterFirstPaint);
}
