#include "gui/app/help_command.h"

#include "core/app/help_document.h"
#include "core/app/lang_text.h"
#include "core/app/system_settings.h"
#include "gui/app/show_message.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace {
std::function<bool(const QUrl&)>& opener()
{
    static std::function<bool(const QUrl&)> instance;
    return instance;
}
} // namespace

void SetHelpOpener(std::function<bool(const QUrl&)> newOpener)
{
    opener() = std::move(newOpener);
}

bool OpenHelpDocument(QWidget* parent)
{
    const HelpDocument doc = HelpDocumentFor(Settings().language);
    if (!QFileInfo(doc.path).isFile()) {
        ShowMessage(QStringLiteral("Can not find help file!"), GetLangText("CASE", 1193), 0,
                    parent);
        return false;
    }
    const QUrl url = QUrl::fromLocalFile(doc.path);
    if (opener())
        return opener()(url);
    // Other failures of the viewer are not reported, as before.
    return QDesktopServices::openUrl(url);
}
