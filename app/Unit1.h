#pragma once

#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class TForm1;
}
class QAbstractButton;
class QCloseEvent;
class TIdIPWatch;

// The main window: the client book, the connection settings and the hidden controls that carry
// state between the handlers. The controls are the only copy of that state while it runs.
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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectHandlers();
    void LoadList(class ListBox* list, const std::string& path);
    void LoadSettings(const std::string& iniPath);
    void SaveSettings(const std::string& iniPath);

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<TIdIPWatch> IdIPWatch1;
};
