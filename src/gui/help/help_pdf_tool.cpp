// Build-time tool: turns a user guide written in Markdown into the PDF that
// the help command opens. Usage: tav_helpdoc GUIDE.md OUT.pdf
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextStream>

int main(int argc, char* argv[])
{
    // No display is needed to lay out text.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: tav_helpdoc GUIDE.md OUT.pdf\n";
        return 2;
    }
    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly)) {
        QTextStream(stderr) << "cannot read " << args[1] << '\n';
        return 2;
    }
    const QString markdown = QString::fromUtf8(source.readAll());

    QTextDocument document;
    QFont font("Noto Sans CJK SC");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(10);
    document.setDefaultFont(font);
    document.setDefaultStyleSheet("table { border-collapse: collapse; } td, th { padding: 3px; }");
    document.setMarkdown(markdown);
    const QString title = markdown.section('\n', 0, 0).remove('#').trimmed();
    document.setMetaInformation(QTextDocument::DocumentTitle, title);

    const QString tempPath = args[2] + ".part";
    {
        QPdfWriter writer(tempPath);
        writer.setTitle(title);
        writer.setCreator("TAV Spirometer");
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
        writer.setResolution(300);
        document.print(&writer);
    }
    QFile::remove(args[2]);
    if (!QFile::rename(tempPath, args[2])) {
        QTextStream(stderr) << "cannot write " << args[2] << '\n';
        return 2;
    }
    return 0;
}
