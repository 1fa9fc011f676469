#include "dialog_hooks.h"

#include "show_message.h"
#include "ui_text.h"

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
