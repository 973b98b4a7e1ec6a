#include "app/Keyring.h"

#include <QObject>
#include <QTimer>

#ifdef MBV_KEYCHAIN
#include <qt6keychain/keychain.h>
#endif

namespace {

const QString Service = QStringLiteral("My Brindle Viewer");

#ifdef MBV_KEYCHAIN

// Through QtKeychain (the Secret Service on Linux, Credential Manager on Windows); never its
// insecure fallback to a plain file.
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
