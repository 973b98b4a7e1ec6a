#include "store/SharedBookPage.h"

#include "app/Keyring.h"
#include "app/UserSettings.h"
#include "base/Exception.h"
#include "store/SharedBook.h"
#include "ui_SharedBookPage.h"

#include <QEventLoop>
#include <QIntValidator>
#include <QPointer>
#include <QTabWidget>

struct SharedBookPage::Page {
    // Owned by the tab widget once added.
    QWidget* widget = new QWidget;
    Ui::SharedBookPage ui;
};

SharedBookPage::SharedBookPage(QTabWidget& pages, BookLists& book, QObject* parent)
    : QObject(parent), pages_(&pages), page_(std::make_unique<Page>()),
      book_(new SharedBook(book, this)) {
    page_->ui.setupUi(page_->widget);
    pages.addTab(page_->widget, QStringLiteral("Shared Book"));
    page_->ui.SharedPortEdit->setValidator(new QIntValidator(1, 65535, page_->ui.SharedPortEdit));
    connect(page_->ui.SharedConnectButton, &QPushButton::clicked, this,
            &SharedBookPage::ConnectPressed);
    connect(book_, &SharedBook::StateChanged, this, &SharedBookPage::Show);
    connect(book_, &SharedBook::StateChanged, this, &SharedBookPage::KeepPassword);
    connect(book_, &SharedBook::Said, this, &SharedBookPage::Said);
    connect(book_, &SharedBook::StateChanged, this, &SharedBookPage::StateChanged);
    connect(book_, &SharedBook::BookChanged, this, &SharedBookPage::BookChanged);
    Show();
}

SharedBookPage::~SharedBookPage() = default;

bool SharedBookPage::On() const {
    return book_->On();
}

SessionStore* SharedBookPage::Sessions() const {
    return book_;
}

void SharedBookPage::EndPreview() {
    book_->EndPreview();
}

SharedBookAddress SharedBookPage::Typed() const {
    SharedBookAddress address;
    address.host = page_->ui.SharedServerEdit->text().trimmed();
    address.port = page_->ui.SharedPortEdit->text().toInt();
    address.database = page_->ui.SharedDatabaseEdit->text().trimmed();
    address.user = page_->ui.SharedUserEdit->text().trimmed();
    address.tlsMode = page_->ui.SharedTlsCombo->currentText();
    return address;
}

void SharedBookPage::Fill(const SharedBookAddress& address) {
    page_->ui.SharedServerEdit->setText(address.host);
    page_->ui.SharedPortEdit->setText(QString::number(address.port));
    page_->ui.SharedDatabaseEdit->setText(address.database);
    page_->ui.SharedUserEdit->setText(address.user);
    if (page_->ui.SharedTlsCombo->findText(address.tlsMode) < 0) {
        page_->ui.SharedTlsCombo->addItem(address.tlsMode);
    }
    page_->ui.SharedTlsCombo->setCurrentText(address.tlsMode);
}

void SharedBookPage::Resume() {
    const QString url = UserSettings().value(AddressKey()).toString();
    if (url.isEmpty()) {
        return;
    }
    // An address edited in the settings by hand is held to the same rules as a typed one, and
    // refused the same way: never dropped without a word, never connected to in clear.
    QString why;
    if (const auto address = SharedBookAddress::Parse(url, &why)) {
        Fill(*address);
        Start(*address, false);
    } else {
        emit Said(why);
        page_->ui.SharedStatus->setText(why);
    }
}

bool SharedBookPage::ConnectTo(const QString& url) {
    pages_->setCurrentWidget(page_->widget);
    QString why;
    const auto address = SharedBookAddress::Parse(url, &why);
    if (!address) {
        emit Said(why);
        page_->ui.SharedStatus->setText(why);
        return false;
    }
    if (book_->On()) {
        if (book_->Address() == *address) {
            return true;
        }
        book_->Disconnect();
    }
    Fill(*address);
    Start(*address, true);
    return true;
}

void SharedBookPage::ConnectPressed() {
    const bool refused = book_->Current() == SharedBook::State::Refused;
    if (book_->On() && !refused) {
        book_->Disconnect();
        UserSettings().remove(AddressKey());
        emit Said(QStringLiteral("The book is kept on this computer only from now on"));
        return;
    }
    const SharedBookAddress address = Typed();
    if (const QString problem = address.Problem(); !problem.isEmpty()) {
        page_->ui.SharedStatus->setText(problem);
        return;
    }
    if (refused) {
        book_->Disconnect();
    }
    Start(address, true);
}

// The password typed now, or else the keyring's; a server that needs none gets none.
void SharedBookPage::Start(const SharedBookAddress& address, bool joining) {
    UserSettings().setValue(AddressKey(), address.Url());
    typed_ = page_->ui.SharedPasswordEdit->text();
    page_->ui.SharedPasswordEdit->clear();
    if (!typed_.isEmpty()) {
        book_->Connect(address, typed_, joining);
        return;
    }
    QPointer<SharedBookPage> self(this);
    SystemKeyring().Read(address.KeyringKey(), [self, address, joining](Keyring::Answer answer,
                                                                        const QString& text) {
        if (self) {
            self->book_->Connect(address, answer == Keyring::Answer::Found ? text : QString(),
                                 joining);
        }
    });
}

void SharedBookPage::Show() {
    // A connection the server refused is tried again from the fields, changed or not.
    const bool on = book_->On() && book_->Current() != SharedBook::State::Refused;
    const std::initializer_list<QWidget*> fields = {
        page_->ui.SharedServerEdit, page_->ui.SharedPortEdit,     page_->ui.SharedDatabaseEdit,
        page_->ui.SharedUserEdit,   page_->ui.SharedPasswordEdit, page_->ui.SharedTlsCombo};
    for (QWidget* field : fields) {
        field->setEnabled(!on);
    }
    page_->ui.SharedConnectButton->setText(on ? QStringLiteral("Disconnect")
                                              : QStringLiteral("Connect"));
    page_->ui.SharedStatus->setText(book_->Status());
}

// The server took the password typed: from now on the keyring keeps it.
void SharedBookPage::KeepPassword() {
    if (book_->Current() == SharedBook::State::Online && !typed_.isEmpty()) {
        QPointer<SharedBookPage> self(this);
        SystemKeyring().Write(book_->Address().KeyringKey(), std::exchange(typed_, QString()),
                              [self](Keyring::Answer answer, const QString&) {
                                  if (self && answer == Keyring::Answer::Failed) {
                                      emit self->Said(QStringLiteral(
                                          "No keyring: the password is asked again next time"));
                                  }
                              });
    }
}

std::vector<std::string> SharedBookPage::QueueLines() const {
    return book_->QueueLines();
}

void SharedBookPage::SetQueue(const std::vector<std::string>& lines) {
    book_->SetQueue(lines);
}

std::optional<qint64> SharedBookPage::ExportTeamSessions(const QString& url, const QString& path) {
    const QString address = url.isEmpty() ? UserSettings().value(AddressKey()).toString() : url;
    if (address.isEmpty()) {
        return std::nullopt;
    }
    QString why;
    const std::optional<SharedBookAddress> parsed = SharedBookAddress::Parse(address, &why);
    if (!parsed) {
        throw Exception(why.toStdString());
    }
    // The keyring answers through the event loop; without an item the server's own ways
    // (PGPASSWORD, a password file, a certificate) stand.
    QString password;
    QEventLoop wait;
    bool answered = false;
    SystemKeyring().Read(parsed->KeyringKey(), [&](Keyring::Answer answer, const QString& text) {
        if (answer == Keyring::Answer::Found) {
            password = text;
        }
        answered = true;
        wait.quit();
    });
    if (!answered) {
        wait.exec();
    }
    const qint64 rows = SharedBookServer::ExportAllSessions(*parsed, password, path, &why);
    if (rows < 0) {
        throw Exception("The shared book's session log could not be exported: " +
                        why.toStdString());
    }
    return rows;
}
