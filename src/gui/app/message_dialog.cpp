#include "gui/app/message_dialog.h"

#include "core/app/lang_text.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

MessageDialog::MessageDialog(const QString& text, const QString& caption, int type, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(caption);
    setObjectName("MessageDialog");
    m_text = new QLabel(text, this);
    m_text->setObjectName("1194");
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignCenter);

    if (type == kYesNo) {
        QPushButton* yes = addButton(GetLangText("MESSAGE", 1167), kYes);
        addButton(GetLangText("MESSAGE", 1166), kNo);
        yes->setDefault(true);
        yes->setFocus();
        m_escapeAnswer = kNo;
    } else if (type == kOkCancel) {
        addButton(GetLangText("MESSAGE", 132), kOk)->setDefault(true);
        addButton(GetLangText("MESSAGE", 133), kCancel);
        m_escapeAnswer = kCancel;
    } else {
        addButton(GetLangText("MESSAGE", 132), kOk)->setDefault(true);
        m_escapeAnswer = kOk;
    }
    const int width = qBound(320, m_text->sizeHint().width() + 60, 640);
    resize(width, 170);
}

QString MessageDialog::Text() const
{
    return m_text->text();
}

QPushButton* MessageDialog::addButton(const QString& text, int answer)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString("answer%1").arg(answer));
    connect(button, &QPushButton::clicked, this, [this, answer] { done(answer); });
    m_buttons.append(button);
    return button;
}

void MessageDialog::keyPressEvent(QKeyEvent* event)
{
    // Escape answers as the last button would, never with a code the caller does not expect.
    if (event->key() == Qt::Key_Escape) {
        done(m_escapeAnswer);
        return;
    }
    QDialog::keyPressEvent(event);
}

void MessageDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    layoutButtons();
}

// Margins of one tenth of the client width and height; the buttons share the bottom row.
void MessageDialog::layoutButtons()
{
    const QRect client = rect();
    const int marginX = client.width() / 10;
    const int marginY = client.height() / 10;
    const int buttonHeight = 28;
    const int buttonWidth = 90;
    const int top = client.height() - marginY - buttonHeight;
    m_text->setGeometry(marginX, marginY, client.width() - 2 * marginX, top - 2 * marginY);
    const int count = int(m_buttons.size());
    const int spare = client.width() - 2 * marginX - count * buttonWidth;
    const int gap = count > 1 ? spare / (count - 1) : 0;
    int left = count > 1 ? marginX : (client.width() - buttonWidth) / 2;
    for (QPushButton* button : m_buttons) {
        button->setGeometry(left, top, buttonWidth, buttonHeight);
        left += buttonWidth + gap;
    }
}
