#pragma once
// Runs a program of ours as a separate process and collects what it printed.
#include <QProcess>
#include <QString>
#include <QStringList>

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolResult RunTool(const QString& program, const QStringList& args,
                          const QByteArray& input = QByteArray(), int timeoutMs = 60000,
                          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                          const QString& folder = QString())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start(program, args);
    ToolResult result;
    if (!process.waitForStarted())
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// The text of a PDF file laid out as on the page, as pdftotext reads it.
inline QString PdfText(const QString& path)
{
    return QString::fromUtf8(RunTool("pdftotext", {"-layout", path, "-"}).out);
}
