#include "core/app/help_document.h"

#include "core/app/app_paths.h"

HelpDocument HelpDocumentFor(const QString& language)
{
    HelpDocument doc;
    if (language.compare(QLatin1String("Chinese"), Qt::CaseInsensitive) == 0) {
        doc.title = QString::fromUtf8("TAV 肺活量计帮助");
        doc.fileName = QStringLiteral("TAV(CH).pdf");
    } else {
        doc.title = QStringLiteral("TAV Spirometer Help");
        doc.fileName = QStringLiteral("TAV(EN).pdf");
    }
    doc.path = AppPaths::ShippedFile(doc.fileName);
    return doc;
}
