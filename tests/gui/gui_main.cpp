// The widget tests need a QApplication; they run on the offscreen platform.
#include <QApplication>
#include <QSqlDatabase>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt's connection registry must be created before the shared Database, so
    // that it is destroyed after it at exit (the Database closes itself then).
    QSqlDatabase::contains(QString());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
