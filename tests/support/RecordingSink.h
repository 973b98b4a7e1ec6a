#pragma once

#include "app/Messages.h"

#include <QStringList>

// Records the notices and error reports instead of showing them.
class RecordingSink final : public MessageSink {
public:
    RecordingSink() { SetMessageSink(this); }
    ~RecordingSink() override { SetMessageSink(nullptr); }

    void ShowMessage(const QString& text) override { messages << text; }
    void ShowError(const QString& text) override { errors << text; }
    bool Ask(const QString& text) override {
        questions << text;
        return answer;
    }
    void ShowNotice(const QString& text) override { notices << text; }

    QStringList messages;
    QStringList errors;
    QStringList questions;
    QStringList notices;
    // The answer to every question.
    bool answer = false;
};
