#include "gui/app/dialog_hooks.h"

#include "gui/app/show_message.h"

#include "core/app/lang_text.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>
#include <QVBoxLayout>

DialogHooks& Hooks()
{
    static DialogHooks hooks;
    return hooks;
}

void ShowNotAvailable(QWidget* parent)
{
    ShowMessage(GetLangText("MESSAGE", 2341), PromptCaption(), 0, parent);
}

QString AskPdfFileName(QWidget* parent, const QString& suggested)
{
    if (Hooks().savePdfName)
        return Hooks().savePdfName(parent, suggested);
    QFileDialog dialog(parent, QString(), suggested, "Chart Files (*.pdf);;All Files (*.*)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("pdf");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

bool RunPrintDialog(QWidget* parent, QPrinter& printer, PrintChoices* choices)
{
    if (Hooks().printDialog) {
        const bool accepted = Hooks().printDialog(parent, printer);
        if (accepted && choices && Hooks().printChoices)
            Hooks().printChoices(*choices);
        return accepted;
    }
    QPrintDialog dialog(&printer, parent);
    QCheckBox* bestLoopOnly = nullptr;
    if (choices) {
        auto* options = new QWidget;
        options->setWindowTitle(GetLangText("REPORT", 2335));
        bestLoopOnly = new QCheckBox(GetLangText("REPORT", 2336), options);
        bestLoopOnly->setObjectName("bestLoopOnly");
        bestLoopOnly->setChecked(choices->bestLoopOnly);
        auto* layout = new QVBoxLayout(options);
        layout->addWidget(bestLoopOnly);
        layout->addStretch();
        dialog.setOptionTabs({options});
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (bestLoopOnly)
        choices->bestLoopOnly = bestLoopOnly->isChecked();
    return true;
}

bool PickColor(QWidget* parent, QColor& color)
{
    if (Hooks().pickColor)
        return Hooks().pickColor(parent, color);
    const QColor chosen = QColorDialog::getColor(color, parent);
    if (!chosen.isValid())
        return false;
    color = chosen;
    return true;
}

bool OpenDocument(const QString& path)
{
    if (Hooks().openDocument)
        return Hooks().openDocument(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
