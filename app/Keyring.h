#pragma once

#include <QString>

#include <functional>
#include <memory>

// The desktop's secret store: the Secret Service on Linux, Credential Manager on Windows; one
// item a key. Every call answers later, on the thread that asked.
class Keyring {
public:
    enum class Answer {
        Found,   // read: the item's password; write: stored
        Missing, // the store answered and holds no such item (or no longer, after a removal)
        Failed,  // no store, a locked one, or a refusal: the text says why
    };
    using Done = std::function<void(Answer answer, const QString& text)>;

    virtual ~Keyring() = default;
    virtual void Read(const QString& key, Done done) = 0;
    virtual void Write(const QString& key, const QString& password, Done done) = 0;
    virtual void Remove(const QString& key, Done done) = 0;
};

// The keyring in use: the system's, unless a test installed its own (nullptr restores it).
Keyring& SystemKeyring();
void SetKeyring(Keyring* keyring);

// The item of a book: Credential Manager names items by their key alone, so the key names the
// program and the book's folder, and two copies never share one.
QString KeyringKey(const QString& bookFolder);
