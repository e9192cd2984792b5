#include "gui/app/about_box.h"

#include "gui/app/images.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

namespace zorvil {

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kCaption));
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(images::ProgramIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon, 0, 0, 2, 1);
    layout->addWidget(new QLabel(QString::fromLatin1(kVersionLine), this), 0, 1);
    layout->addWidget(new QLabel(QString::fromLatin1(kTechnologyLine), this), 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 0, 2, 2, 1, Qt::AlignTop);
    layout->setHorizontalSpacing(16);
    setSizeGripEnabled(false);
}

} // namespace zorvil
