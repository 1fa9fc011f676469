#pragma once
#include <QString>

#include <functional>

class QWidget;

// Shows `text` in the program's message box and returns the button pressed
// (1 OK, 2 Cancel, 6 Yes, 7 No). `type` is the button set: 0 OK, 1 OK/Cancel,
// 4 Yes/No. Without a parent the active window is the owner.
int ShowMessage(const QString& text, const QString& caption, int type, QWidget* parent = nullptr);

// The two captions used throughout: MESSAGE 141 ("Prompt") and 139 ("Error").
QString PromptCaption();
QString ErrorCaption();

// Tests replace the modal box: the hook receives what would be shown and
// returns the answer. An empty hook restores the real box.
using MessageHook = std::function<int(const QString& text, const QString& caption, int type)>;
void SetMessageHook(MessageHook hook);
bool MessageHookInstalled();
