#include "gui/app/dialog_hooks.h"

#include "gui/app/show_message.h"
#include "gui/app/ui_text.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

DialogHooks& Hooks()
{
    static DialogHooks hooks;
    return hooks;
}

void ShowNotAvailable(QWidget* parent)
{
    ShowMessage(
        UiText("This function is not available in this version yet.", "此功能在本版本中尚不可用。"),
        PromptCaption(), 0, parent);
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

bool RunPrintDialog(QWidget* parent, QPrinter& printer)
{
    if (Hooks().printDialog)
        return Hooks().printDialog(parent, printer);
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
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
