#include "application.h"

#include "app/app_paths.h"
#include "app/lang_text.h"
#include "app/system_settings.h"
#include "records/database.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>

bool SelectOffscreenWhenHeadless()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

int RunApplication(QApplication& app, const QString& exeFolder)
{
    AppPaths::Init(exeFolder);
    Settings().Load(AppPaths::SettingsFile());
    AppPaths::SetCaseFolder(AppPaths::CaseRoot());

    if (!Database::Instance().Open(AppPaths::DatabaseFile(), Database::kPassword)) {
        QMessageBox::critical(nullptr, QString(), QString::fromUtf8("连接数据库失败！"));
        return 1;
    }
    Database::SetNotifier([](const QString& text, const QString& caption) {
        QMessageBox::information(nullptr, caption, text);
    });

    QMainWindow window;
    window.setWindowTitle(GetLangText("CASE", 1193));
    window.showMaximized();
    const int code = app.exec();
    Database::Instance().Close();
    return code;
}
