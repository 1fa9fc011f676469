// The widget tests need a QApplication; they run on the offscreen platform.
#include <QApplication>
#include <QSqlDatabase>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt's connection registry must outlive every Database a test builds.
    QSqlDatabase::contains(QString());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
