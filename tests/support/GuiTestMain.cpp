#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("My Brindle Viewer"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
