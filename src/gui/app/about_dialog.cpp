#include "gui/app/about_dialog.h"

#include "core/app/lang_text.h"
#include "gui/app/product_picture.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutDialog");
    setWindowTitle(GetLangText("CASE", 1193));
    auto* picture = new QLabel(this);
    picture->setPixmap(ProductPicture(64));
    auto* text = new QLabel(VersionText(), this);
    text->setObjectName("versionText");
    auto* ok = new QPushButton(GetLangText("MESSAGE", 132), this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(picture);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(ok, 0, Qt::AlignRight);
}
