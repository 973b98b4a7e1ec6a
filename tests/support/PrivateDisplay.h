#pragma once

#include <QProcess>
#include <QString>

#include <memory>

// An X server of the test's own (Xvfb) on a free display, gone when the object is.
class PrivateDisplay {
public:
    PrivateDisplay(int width, int height);
    ~PrivateDisplay();

    // ":N", or empty when Xvfb could not start.
    const QString& Name() const { return name_; }
    // Paints the whole screen one colour (0xRRGGBB).
    void Paint(unsigned rgb) const;
    // Asks every window on the screen to close, as a window manager's close button does.
    void CloseWindows() const;
    // How many of the screen's pixels hold this colour, give or take a little in each channel.
    int Count(unsigned rgb) const;

private:
    std::unique_ptr<QProcess> server_;
    QString name_;
};

// x11vnc serving a display, with this password, calling a repeater for this ID.
class CustomerServer {
public:
    CustomerServer(const PrivateDisplay& display, const QString& password, const QString& id,
                   int repeaterPort);
    ~CustomerServer();

private:
    QProcess process_;
    QString passwordFile_;
};
