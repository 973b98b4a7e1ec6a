#pragma once

#include "Messages.h"

#include <QStringList>

// Records the notices and error reports instead of showing them.
class RecordingSink final : public MessageSink {
public:
    RecordingSink() { SetMessageSink(this); }
    ~RecordingSink() override { SetMessageSink(nullptr); }

    void ShowMessage(const QString& text) override { messages << text; }
    void ShowError(const QString& text) override { errors << text; }

    QStringList messages;
    QStringList errors;
};
