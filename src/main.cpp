#include "gui/app/application.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    const bool headless = SelectOffscreenWhenHeadless();
    QApplication app(argc, argv);
    if (headless)
        QTextStream(stdout) << "No display found: running on the offscreen platform.\n";
    return RunApplication(app, QCoreApplication::applicationDirPath());
}
