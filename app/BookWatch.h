#pragma once

#include <QObject>

#include <memory>

class QFileSystemWatcher;
class QTimer;
namespace core {
class ProgramFiles;
}

// Another copy of the program on the same book: says once, without waiting, when one has the
// book open, and tells when one has committed its changes (once its commit stands whole).
class BookWatch final : public QObject {
    Q_OBJECT
public:
    explicit BookWatch(const core::ProgramFiles& files, QObject* parent = nullptr);
    ~BookWatch() override;

    // While this copy writes the book itself, what it sees is its own doing.
    void SetSaving(bool saving) { saving_ = saving; }
    // Whether another running copy had the book open when this one started.
    bool AnotherCopyOpen() const { return anotherOpen_; }

signals:
    void Committed();

private:
    void Settled();

    std::unique_ptr<QFileSystemWatcher> watch_;
    std::shared_ptr<void> lock_;
    QTimer* settle_;
    std::string folder_;
    bool saving_ = false;
    bool anotherOpen_ = false;
};
