#include "Unit1.h"

#include "BatchLine.h"
#include "DisplayText.h"
#include "Exception.h"
#include "Files.h"
#include "Flags.h"
#include "IdIPWatch.h"
#include "ListFile.h"
#include "Messages.h"
#include "ProfileFile.h"
#include "StartHidden.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFontDatabase>
#include <QProxyStyle>
#include <QTabBar>

namespace {

// The list and batch files' names are made with a separator of their own after the program
// folder, which already ends in one: the doubled separator shows in error texts.
std::string Separated(const char* name) {
    return platform::PathSeparator() + std::string(name);
}
const std::string NamesFile = Separated("clientlist.txt");
const std::string IdsFile = Separated("clientIDlist.txt");
const std::string BatchFile = Separated("vncviewer.bat");
const std::string SettingsFile = "myviewer.ini";

// The layout names Windows fonts; where they are missing, fonts with the same widths stand in,
// so the captions fit the layout's sizes.
void AddFontSubstitutes() {
    const auto substitute = [](const QString& family, const QStringList& substitutes) {
        if (!QFontDatabase::hasFamily(family)) {
            QFont::insertSubstitutions(family, substitutes);
        }
    };
    substitute(QStringLiteral("MS Sans Serif"),
               {QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    substitute(QStringLiteral("Times New Roman"), {QStringLiteral("Liberation Serif")});
}

// Tabs with a third of the style's usual padding beside their captions.
class CompactTabs final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value / 3 : value;
    }
};

// A radio button set from code: checking one clears its partner; clearing one leaves the
// partner alone (an exclusive group would refuse to clear its checked button).
void SetRadio(QAbstractButton* button, bool checked) {
    if (checked) {
        button->setChecked(true);
        return;
    }
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(exclusive);
}

void WriteKey(const char* section, const char* key, const std::string& value,
              const std::string& iniPath) {
    if (!platform::SetProfileValue(section, key, value, iniPath)) {
        throw Exception("Unable to write to " + iniPath);
    }
}

std::string ReadKey(const char* section, const char* key, const char* defaultValue,
                    const std::string& iniPath) {
    return platform::GetProfileValue(section, key, defaultValue, iniPath);
}

} // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm1>()) {
    AddFontSubstitutes();
    ui->setupUi(this);
    // Link labels are as wide as their text, so only the text reacts to the pointer; a centred
    // one stays centred where the layout put it.
    for (TSwCURLLabel* link :
         {ui->SwCURLLabel1, ui->SwCURLLabel2, ui->SwCURLLabel3, ui->SwCURLLabel4}) {
        const QRect placed = link->geometry();
        link->adjustSize();
        if (link->alignment() & Qt::AlignHCenter) {
            link->move(placed.center().x() - link->width() / 2, placed.y());
        }
    }
    // The address watch hands its polls to this thread through the event loop.
    MainThreadCalls::Instance().BindToCurrentThread([] {
        QMetaObject::invokeMethod(
            qApp, [] { MainThreadCalls::Instance().RunPending(); }, Qt::QueuedConnection);
    });
    IdIPWatch1 = std::make_unique<TIdIPWatch>();
    IdIPWatch1->SetHistoryFilename("iphist.dat");
    IdIPWatch1->SetActive(true);
    // Narrower tab padding, so the six pages' tabs fit the window's width.
    auto* tabs = new CompactTabs;
    tabs->setParent(ui->PageControl1->tabBar());
    ui->PageControl1->tabBar()->setStyle(tabs);
    move(196, 248);
    // Start states come from the layout before any handler is attached: building the window
    // runs none of them.
    ConnectHandlers();
}

TForm1::~TForm1() = default;

void TForm1::ConnectHandlers() {
    const auto handle = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    };
    // Adding runs on a press only (mouse release, Space or Enter): focus entering "OK" adds
    // nothing, so one press adds one client.
    handle(ui->Button1, &QPushButton::clicked, &TForm1::Button1Click);
    handle(ui->Button2, &QPushButton::clicked, &TForm1::Button2Click);
    handle(ui->Button3, &QPushButton::clicked, &TForm1::Button3Click);
    handle(ui->Button4, &QPushButton::clicked, &TForm1::Button4Click);
    handle(ui->Button5, &QPushButton::clicked, &TForm1::Button5Click);
    handle(ui->ListBox1, &ListBox::UserSelectionChanged, &TForm1::ListBox1Click);
    handle(ui->ListBox2, &ListBox::UserSelectionChanged, &TForm1::ListBox2Click);
    connect(ui->CheckBox1, &QCheckBox::toggled, this,
            [this] { Guarded([this] { CheckBox1Click(); }); });
    connect(ui->CheckBox2, &QCheckBox::toggled, this,
            [this] { Guarded([this] { CheckBox2Click(); }); });
    connect(ui->CheckBox3, &QCheckBox::toggled, this,
            [this] { Guarded([this] { CheckBox3Click(); }); });
}

void TForm1::FormCreate() {
    ui->ComboBox1->setToolTip(
        QStringLiteral("1: Auto\n2: LAN\n3: Medium\n4: Modem\n5: Slow\n7: Ultra"));
    ui->CheckBox2->setToolTip(
        QStringLiteral("Leave checked for autoreconnect\nUncheck for no autoreconnect"));
    ui->CheckBox1->setToolTip(
        QStringLiteral("Leave checked for autoscaling\nUncheck for no autoscaling"));

    const std::string folder = platform::ProgramFolder();
    // Without an address the field stays empty and loading goes on, so the close never writes
    // back lists or settings that were not read.
    try {
        ui->Edit3->setText(DisplayText(IdIPWatch1->QueryLocalAddress()));
    } catch (const std::exception& error) {
        ui->Edit3->clear();
        ReportError(error.what());
    }
    LoadList(ui->ListBox1, folder + NamesFile);
    LoadList(ui->ListBox2, folder + IdsFile);
    LoadSettings(folder + SettingsFile);
}

void TForm1::LoadList(ListBox* list, const std::string& path) {
    try {
        list->SetItems(listfile::Load(path));
    } catch (const EFOpenError& error) {
        ShowMessage(error.Message() +
                    ".\nIf this is your first run of My Brindle Viewer this file will be "
                    "created\nupon closing the program.");
    }
}

void TForm1::LoadSettings(const std::string& ini) {
    ui->ComboBox1->setCurrentText(DisplayText(ReadKey("quality", "setting", "3", ini)));
    SetRadio(ui->RadioButton9, ReadFlag(ReadKey("repeater", "lan", "", ini), true));
    SetRadio(ui->RadioButton10, ReadFlag(ReadKey("repeater", "address", "", ini), false));
    ui->Edit4->setText(DisplayText(ReadKey("password", "value", "", ini)));
    ui->Edit2->setText(DisplayText(ReadKey("repeater", "address2", "", ini)));
    ui->NumEdit2->setText(DisplayText(ReadKey("port", "viewer", "", ini)));
    ui->CheckBox3->setChecked(ReadFlag(ReadKey("password", "store", "", ini), false));
    ui->CheckBox1->setChecked(ReadFlag(ReadKey("autoscaling", "setting", "", ini), true));
    ui->CheckBox2->setChecked(ReadFlag(ReadKey("autoreconnect", "setting", "", ini), false));
}

void TForm1::FormClose() {
    const std::string folder = platform::ProgramFolder();
    const std::string ini = folder + SettingsFile;
    listfile::Save(folder + NamesFile, ui->ListBox1->Items());
    listfile::Save(folder + IdsFile, ui->ListBox2->Items());
    SaveSettings(ini);
    if (!platform::FlushProfile(ini)) {
        throw Exception("Unable to write to " + ini);
    }
    platform::RemoveFile(folder + BatchFile);
}

void TForm1::SaveSettings(const std::string& ini) {
    WriteKey("quality", "setting", StoredText(ui->ComboBox1->currentText()), ini);
    WriteKey("quality", "auto", "1", ini);
    WriteKey("repeater", "lan", FlagText(ui->RadioButton9->isChecked()), ini);
    WriteKey("repeater", "address", FlagText(ui->RadioButton10->isChecked()), ini);
    WriteKey("password", "value", StoredText(ui->Edit4->text()), ini);
    WriteKey("repeater", "address2", StoredText(ui->Edit2->text()), ini);
    WriteKey("port", "viewer", StoredText(ui->NumEdit2->text()), ini);
    WriteKey("password", "store", FlagText(ui->CheckBox3->isChecked()), ini);
    WriteKey("autoscaling", "setting", FlagText(ui->CheckBox1->isChecked()), ini);
    WriteKey("autoreconnect", "setting", FlagText(ui->CheckBox2->isChecked()), ini);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A close whose save failed keeps the window, and with it the only copy of the book.
    if (Guarded([this] { FormClose(); })) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::Button1Click() {
    ui->ListBox1->Add(StoredText(ui->Edit1->text()));
    ui->ListBox2->Add(StoredText(ui->NumEdit1->text()));
    ui->Edit1->clear();
    ui->NumEdit1->clear();
}

void TForm1::Button2Click() {
    if (ui->ListBox1->ItemIndex() < 0) {
        ShowMessage("You have to select a client to connect to first!");
        return;
    }
    const std::string folder = platform::ProgramFolder();
    const std::string batch = folder + BatchFile;
    const std::string id = ui->ListBox2->Item(ui->ListBox2->ItemIndex());
    const QString host = ui->RadioButton9->isChecked() ? ui->Edit3->text() : ui->Edit2->text();
    const std::string quote = StoredText(ui->Label3->text());

    // Every piece goes through the writer, so that whatever the fields hold the interpreter
    // hands the viewer exactly this line and runs nothing else.
    platform::BatchLineWriter line;
    line.Append(quote)
        .Append(folder)
        .Append("Bin\\vncviewer.exe")
        .Append(quote)
        .Append(" -proxy ")
        .Append(StoredText(host))
        .Append(":")
        .Append(StoredText(ui->NumEdit2->text()))
        .Append(StoredText(ui->Label5->text()))
        .Append(StoredText(ui->Label6->text()))
        .Append(" ID:")
        .Append(id)
        .Append(" -quickoption ")
        .Append(StoredText(ui->ComboBox1->currentText()))
        .Append(StoredText(ui->Label4->text()))
        .Append(" -keepalive 1 -dsmplugin SecureVNCPlugin.dsm")
        .Append(StoredText(ui->Edit7->text()))
        .Append(StoredText(ui->Edit4->text()));

    ui->ListBox3->Add(line.Line());
    try {
        // Created anew each time, readable by its owner only: it holds the password.
        listfile::Save(batch, ui->ListBox3->Items(), platform::NewFileMode::OwnerOnly,
                       platform::ExistingFileMode::Replace);
    } catch (...) {
        ui->ListBox3->Clear();
        throw;
    }
    ui->ListBox3->Clear();
    platform::StartBatchFileHidden(batch);
}

void TForm1::Button3Click() {
    if (ui->ListBox1->ItemIndex() >= 0) {
        ui->ListBox1->Delete(ui->ListBox1->ItemIndex());
    }
    if (ui->ListBox2->ItemIndex() >= 0) {
        ui->ListBox2->Delete(ui->ListBox2->ItemIndex());
    }
}

void TForm1::Button4Click() {
    const int p = ui->ListBox1->ItemIndex();
    if (p < 1) {
        ShowMessage("You can't move this item any farther up!");
        return;
    }
    ui->ListBox1->Move(p, p - 1);
    // The ID list moves its own selected row; when the lists are out of step and that row
    // cannot move, the ID list is left as it is rather than broken.
    const int q = ui->ListBox2->ItemIndex();
    if (q >= 1) {
        ui->ListBox2->Move(q, q - 1);
    } else {
        ui->ListBox2->SetItemIndex(-1);
    }
}

void TForm1::Button5Click() {
    const int p = ui->ListBox1->ItemIndex();
    if (p < 0 || p >= ui->ListBox1->Count() - 1) {
        ShowMessage("You can't move this item any farther down!");
        return;
    }
    ui->ListBox1->Move(p, p + 1);
    const int q = ui->ListBox2->ItemIndex();
    if (q >= 0 && q < ui->ListBox2->Count() - 1) {
        ui->ListBox2->Move(q, q + 1);
    } else {
        ui->ListBox2->SetItemIndex(-1);
    }
}

namespace {

// Selects in one list the row the user selected in the other; without a selection (or past
// the lists' reach) the other list is left alone.
void Mirror(const ListBox* from, ListBox* to) {
    const int position = from->ItemIndex();
    if (position >= 0 && position <= 99999) {
        to->SetItemIndex(position);
    }
}

} // namespace

void TForm1::ListBox1Click() {
    Mirror(ui->ListBox1, ui->ListBox2);
}

void TForm1::ListBox2Click() {
    Mirror(ui->ListBox2, ui->ListBox1);
}

void TForm1::CheckBox1Click() {
    if (ui->CheckBox1->isChecked()) {
        ui->Label4->setText(QStringLiteral(" -autoscaling"));
        ui->CheckBox1->setText(QStringLiteral(" -autoscaling"));
    } else {
        ui->Label4->clear();
        ui->CheckBox1->setText(QStringLiteral("no autoscaling"));
    }
}

void TForm1::CheckBox2Click() {
    if (ui->CheckBox2->isChecked()) {
        ui->Label5->setText(QStringLiteral(" -autoreconnect"));
        ui->Label6->setText(QStringLiteral(" -connect"));
        ui->CheckBox2->setText(QStringLiteral(" -autoreconnect"));
    } else {
        ui->Label5->clear();
        ui->Label6->clear();
        ui->CheckBox2->setText(QStringLiteral("no autoreconnect"));
    }
}

void TForm1::CheckBox3Click() {
    if (ui->CheckBox3->isChecked()) {
        ui->Edit4->setEnabled(true);
        ui->Edit7->setText(QStringLiteral(" -password "));
    } else {
        ui->Edit4->clear();
        ui->Edit4->setEnabled(false);
        ui->Edit7->clear();
    }
}
