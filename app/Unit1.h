#pragma once

#include "app/BookFilter.h"
#include "core/ProgramFiles.h"

#include <QWidget>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Ui {
class TForm1;
}
class QCloseEvent;
class QFileSystemWatcher;
class QLockFile;
class QTimer;
class TIdIPWatch;
class ListBox;

// The main window: the client book, the connection settings and the hidden controls that carry
// state between the handlers. The controls are the only copy of that state while it runs; the
// files and the viewer's command line are the core's.
//
// Names: the layout's controls and the handlers keep the names the window has always had
// (ListBox1, Button2Click); our own methods are PascalCase; Qt's overrides keep Qt's names.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Window created: fills the controls from the list files and the settings file.
    void FormCreate();
    // Window closing: writes the lists and the settings back and removes the batch file.
    void FormClose();

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void ListBox1Click();
    void ListBox2Click();

    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();

    // Finding a client: the filter changed; Enter in the filter or a list; Delete in a list.
    void FilterEditChange();
    void EnterPress();
    void DeletePress();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ConnectHandlers();
    void ConnectFinding();
    void LoadList(ListBox* list, core::ListFile& file, bool firstRunNotice);
    void LoadSettings(const std::vector<std::string>& values);
    core::SettingsValues CurrentSettings() const;
    // Another copy of the program on this book: said once when it holds the book open; its
    // commits merged in as they land.
    void WatchBook(const core::ProgramFiles& files);
    void BookFilesChanged();
    void ShowMerged(core::Book* book, const std::vector<std::string>& settings,
                    const std::string& summary);
    void ChooseBookFolder();
    // Writes the launch line for this ID and starts the viewer.
    void ConnectTo(const std::string& id);
    // Selects the client a place further down (or up) among those shown, in both lists.
    void SelectShown(int step);
    void BookChanged();
    void RecordLayout();
    void LayOut();
    void RestorePlace();
    void SavePlace() const;

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<TIdIPWatch> IdIPWatch1;
    // The book as last read from its files, what a merge with another copy starts from; a
    // list file that could not be read is never written over. The rows live in the list
    // boxes.
    core::BookOnDisk base_;
    std::unique_ptr<QFileSystemWatcher> bookWatch_;
    QTimer* bookSettle_ = nullptr;
    std::unique_ptr<QLockFile> bookLock_;
    bool saving_ = false;
    BookFilter filter_;
    // The move arrows' hints, shown again when the filter is cleared.
    QString upHint_;
    QString downHint_;
    // The layout's own places of the controls that grow with the window, and its size.
    QSize layoutSize_;
    std::vector<std::pair<QWidget*, QRect>> layoutPlaces_;
};
