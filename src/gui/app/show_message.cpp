#include "gui/app/show_message.h"

#include "core/app/lang_text.h"
#include "gui/app/message_dialog.h"

#include <QApplication>

namespace {
MessageHook& hook()
{
    static MessageHook instance;
    return instance;
}
} // namespace

void SetMessageHook(MessageHook newHook)
{
    hook() = std::move(newHook);
}
bool MessageHookInstalled()
{
    return bool(hook());
}

int ShowMessage(const QString& text, const QString& caption, int type, QWidget* parent)
{
    if (hook())
        return hook()(text, caption, type);
    if (!parent)
        parent = QApplication::activeWindow();
    MessageDialog dialog(text, caption, type, parent);
    return dialog.exec();
}

QString PromptCaption()
{
    return GetLangText("MESSAGE", 141);
}
QString ErrorCaption()
{
    return GetLangText("MESSAGE", 139);
}
