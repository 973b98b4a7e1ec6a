#include "support/PrivateDisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

// Xlib's macros (None, Bool, Status...) stay in this file.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <cstdlib>

namespace {

int Channel(unsigned long pixel, int shift) {
    return static_cast<int>((pixel >> shift) & 0xFF);
}

} // namespace

PrivateDisplay::PrivateDisplay(int width, int height) : server_(std::make_unique<QProcess>()) {
    // -displayfd: the server picks a free display and writes its number when it is ready.
    server_->start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                    // The painted screen stays painted when its last client leaves.
                    QStringLiteral("-noreset")});
    if (!server_->waitForStarted(10000)) {
        return;
    }
    QByteArray number;
    QElapsedTimer waited;
    waited.start();
    while (!number.contains('\n') && waited.elapsed() < 20000 &&
           server_->state() == QProcess::Running) {
        server_->waitForReadyRead(200);
        number += server_->readAllStandardOutput();
    }
    if (number.contains('\n')) {
        name_ = u':' + QString::fromLatin1(number.trimmed());
    }
}

PrivateDisplay::~PrivateDisplay() {
    server_->terminate();
    if (!server_->waitForFinished(5000)) {
        server_->kill();
        server_->waitForFinished(5000);
    }
}

void PrivateDisplay::Paint(unsigned rgb) const {
    Display* display = XOpenDisplay(name_.toLatin1().constData());
    if (display == nullptr) {
        return;
    }
    const Window root = DefaultRootWindow(display);
    XSetWindowBackground(display, root, rgb);
    XClearWindow(display, root);
    XSync(display, False);
    XCloseDisplay(display);
}

void PrivateDisplay::CloseWindows() const {
    Display* display = XOpenDisplay(name_.toLatin1().constData());
    if (display == nullptr) {
        return;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
        const Atom close = XInternAtom(display, "WM_DELETE_WINDOW", False);
        for (unsigned i = 0; i < count; ++i) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = children[i];
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = static_cast<long>(close);
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, children[i], False, NoEventMask, &event);
        }
        XFree(children);
    }
    XSync(display, False);
    XCloseDisplay(display);
}

int PrivateDisplay::Count(unsigned rgb) const {
    Display* display = XOpenDisplay(name_.toLatin1().constData());
    if (display == nullptr) {
        return 0;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    int count = 0;
    if (image != nullptr) {
        // The usual TrueColor layout is read in place; any other through Xlib, a call a pixel.
        const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                            image->green_mask == 0xFF00 && image->blue_mask == 0xFF;
        for (int y = 0; y < attributes.height; ++y) {
            const auto* row =
                reinterpret_cast<const uint32_t*>(image->data + y * image->bytes_per_line);
            for (int x = 0; x < attributes.width; ++x) {
                const unsigned long pixel = direct ? row[x] : XGetPixel(image, x, y);
                bool near = true;
                for (const int shift : {16, 8, 0}) {
                    near = near && std::abs(Channel(pixel, shift) - Channel(rgb, shift)) <= 16;
                }
                count += near ? 1 : 0;
            }
        }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return count;
}

CustomerServer::CustomerServer(const PrivateDisplay& display, const QString& password,
                               const QString& id, int repeaterPort) {
    // The password from a file of the test's own: on no command line.
    passwordFile_ = QDir::temp().filePath(
        QStringLiteral("mbv-x11vnc-%1-%2").arg(QCoreApplication::applicationPid()).arg(id));
    QFile file(passwordFile_);
    file.open(QIODevice::WriteOnly);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(password.toUtf8() + '\n');
    file.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(QStringLiteral("x11vnc"),
                   {QStringLiteral("-display"), display.Name(), QStringLiteral("-passwdfile"),
                    passwordFile_, QStringLiteral("-connect"),
                    QStringLiteral("repeater=ID:%1+127.0.0.1:%2").arg(id).arg(repeaterPort),
                    QStringLiteral("-rfbport"), QStringLiteral("0"), QStringLiteral("-shared"),
                    QStringLiteral("-noxdamage")});
    process_.waitForStarted(10000);
}

CustomerServer::~CustomerServer() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    QFile::remove(passwordFile_);
}
