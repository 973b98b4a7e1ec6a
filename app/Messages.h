#pragma once

#include <QString>

#include <exception>
#include <string>

// The application title: the caption of every message box.
inline QString ApplicationTitle() {
    return QStringLiteral("My Brindle Viewer");
}

// The modal message and the default error report, behind one object that tests replace.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A notice with one OK button; returns when it is closed.
    virtual void ShowMessage(const QString& text) = 0;
    // An error with the error icon.
    virtual void ShowError(const QString& text) = 0;
    // A question with Yes and No buttons; true for Yes.
    virtual bool Ask(const QString& text) = 0;
    // A notice that does not wait: the program goes on while it is shown.
    virtual void ShowNotice(const QString& text) = 0;
};

// The sink in use; a message box sink unless a test installed its own.
MessageSink& Messages();
// Installs a sink (nullptr restores the message boxes); the caller keeps ownership.
void SetMessageSink(MessageSink* sink);

void ShowMessage(const std::string& text);
void ShowNotice(const std::string& text);

// A question answered Yes or No; true for Yes.
bool AskYesNo(const std::string& text);

// The default error report: a full stop is added when the text ends in a character whose code
// lies above that of "." (a letter or a digit, not ")" or "!").
void ReportError(const std::string& text);

// Runs an event handler; an escaping error is reported and the program goes on. No exception
// may cross the event loop. Returns whether the handler ran to its end.
template <class Handler> bool Guarded(Handler&& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        ReportError(error.what());
    } catch (...) {
        ReportError("Unexpected error");
    }
    return false;
}
