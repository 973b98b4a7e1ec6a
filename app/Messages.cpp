#include "app/Messages.h"

#include "app/QtText.h"

#include <QMessageBox>

namespace {

class MessageBoxSink final : public MessageSink {
public:
    void ShowMessage(const QString& text) override { Show(QMessageBox::NoIcon, text); }
    void ShowError(const QString& text) override { Show(QMessageBox::Critical, text); }
    bool Ask(const QString& text) override {
        QMessageBox box(QMessageBox::Question, ApplicationTitle(), text,
                        QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    void ShowNotice(const QString& text) override {
        auto* box = new QMessageBox(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    }

private:
    static void Show(QMessageBox::Icon icon, const QString& text) {
        // No parent: the box is centred on the screen, captioned with the application title.
        QMessageBox box(icon, ApplicationTitle(), text, QMessageBox::Ok);
        box.exec();
    }
};

MessageBoxSink defaultSink;
MessageSink* currentSink = &defaultSink;

} // namespace

MessageSink& Messages() {
    return *currentSink;
}

void SetMessageSink(MessageSink* sink) {
    currentSink = sink ? sink : &defaultSink;
}

void ShowMessage(const std::string& text) {
    Messages().ShowMessage(DisplayText(text));
}

void ShowNotice(const std::string& text) {
    Messages().ShowNotice(DisplayText(text));
}

bool AskYesNo(const std::string& text) {
    return Messages().Ask(DisplayText(text));
}

void ReportError(const std::string& text) {
    std::string shown = text;
    if (!shown.empty() && static_cast<unsigned char>(shown.back()) > '.') {
        shown += '.';
    }
    Messages().ShowError(DisplayText(shown));
}
