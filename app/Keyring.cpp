#include "app/Keyring.h"

#include <QObject>
#include <QTimer>

#ifdef MBV_KEYCHAIN
#include <qt6keychain/keychain.h>
#elif defined(_WIN32)
#include <windows.h>
// After windows.h, whose types it uses.
#include <wincred.h>

#include <string>
#endif

namespace {

const QString Service = QStringLiteral("My Brindle Viewer");

#ifdef MBV_KEYCHAIN

// Through QtKeychain; never its insecure fallback to a plain file.
class SystemStore final : public Keyring {
public:
    void Read(const QString& key, Done done) override {
        auto* job = new QKeychain::ReadPasswordJob(Service);
        Start(job, key, [done](QKeychain::Job& finished) {
            if (finished.error() == QKeychain::NoError) {
                done(Answer::Found, static_cast<QKeychain::ReadPasswordJob&>(finished).textData());
            } else {
                Failure(finished, done);
            }
        });
    }
    void Write(const QString& key, const QString& password, Done done) override {
        auto* job = new QKeychain::WritePasswordJob(Service);
        job->setTextData(password);
        Start(job, key, [done](QKeychain::Job& finished) {
            if (finished.error() == QKeychain::NoError) {
                done(Answer::Found, {});
            } else {
                Failure(finished, done);
            }
        });
    }
    void Remove(const QString& key, Done done) override {
        auto* job = new QKeychain::DeletePasswordJob(Service);
        Start(job, key, [done](QKeychain::Job& finished) {
            if (finished.error() == QKeychain::NoError) {
                done(Answer::Missing, {});
            } else {
                Failure(finished, done);
            }
        });
    }

private:
    static void Failure(const QKeychain::Job& job, const Done& done) {
        if (job.error() == QKeychain::EntryNotFound) {
            done(Answer::Missing, {});
        } else {
            done(Answer::Failed, job.errorString());
        }
    }
    template <class Finished>
    static void Start(QKeychain::Job* job, const QString& key, Finished finished) {
        job->setAutoDelete(true);
        job->setInsecureFallback(false);
        job->setKey(key);
        QObject::connect(job, &QKeychain::Job::finished, job,
                         [finished](QKeychain::Job* done) { finished(*done); });
        job->start();
    }
};

#elif defined(_WIN32)

// Credential Manager, one generic credential per key, for this user on this machine. Its calls
// are local and quick; they answer from the event loop all the same, as every keyring does.
class SystemStore final : public Keyring {
public:
    void Read(const QString& key, Done done) override {
        Later([key, done] {
            PCREDENTIALW credential = nullptr;
            if (!CredReadW(Target(key).c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
                Failure(done);
                return;
            }
            const QString password =
                QString::fromUtf8(reinterpret_cast<const char*>(credential->CredentialBlob),
                                  static_cast<qsizetype>(credential->CredentialBlobSize));
            CredFree(credential);
            done(Answer::Found, password);
        });
    }
    void Write(const QString& key, const QString& password, Done done) override {
        Later([key, password, done] {
            std::wstring target = Target(key);
            std::wstring user = Service.toStdWString();
            QByteArray bytes = password.toUtf8();
            CREDENTIALW credential{};
            credential.Type = CRED_TYPE_GENERIC;
            credential.TargetName = target.data();
            credential.UserName = user.data();
            credential.CredentialBlobSize = static_cast<DWORD>(bytes.size());
            credential.CredentialBlob = reinterpret_cast<LPBYTE>(bytes.data());
            credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
            if (CredWriteW(&credential, 0)) {
                done(Answer::Found, {});
            } else {
                Failure(done);
            }
        });
    }
    void Remove(const QString& key, Done done) override {
        Later([key, done] {
            if (CredDeleteW(Target(key).c_str(), CRED_TYPE_GENERIC, 0)) {
                done(Answer::Missing, {});
            } else {
                Failure(done);
            }
        });
    }

private:
    static std::wstring Target(const QString& key) { return key.toStdWString(); }
    static void Failure(const Done& done) {
        const DWORD error = GetLastError();
        if (error == ERROR_NOT_FOUND) {
            done(Answer::Missing, {});
        } else {
            done(Answer::Failed, QStringLiteral("Credential Manager error %1").arg(error));
        }
    }
    static void Later(std::function<void()> call) { QTimer::singleShot(0, std::move(call)); }
};

#else

// A build without a keyring library: every call fails, later, as a missing store would.
class SystemStore final : public Keyring {
public:
    void Read(const QString&, Done done) override { Fail(std::move(done)); }
    void Write(const QString&, const QString&, Done done) override { Fail(std::move(done)); }
    void Remove(const QString&, Done done) override { Fail(std::move(done)); }

private:
    static void Fail(Done done) {
        QTimer::singleShot(0, [done] {
            done(Answer::Failed, QStringLiteral("this copy was built without a keyring"));
        });
    }
};

#endif

Keyring* installed = nullptr;

} // namespace

Keyring& SystemKeyring() {
    static SystemStore system;
    return installed ? *installed : system;
}

void SetKeyring(Keyring* keyring) {
    installed = keyring;
}

QString KeyringKey(const QString& bookFolder) {
    return Service + QStringLiteral(": ") + bookFolder;
}
