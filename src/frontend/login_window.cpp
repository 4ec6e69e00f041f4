// The login window's controls; connecting and the world choice come with the login flow.
#include "frontend/login_window.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "frontend/client_windows.h"
#include "frontend/startup.h"

TVxLogin::TVxLogin()
{
    MakeFixedDialog(this, 481, 455);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->setEditText("Avatar");
    Edit2 = new QLineEdit(this);
    Edit2->setEchoMode(QLineEdit::Password);
    Edit1 = new QLineEdit(this);
    Edit1->setEnabled(false);
    BitBtn1 = new QPushButton("Change...", this);
    ComboBox2 = new QComboBox(this);
    ComboBox2->setEditable(true);
    ComboBox2->addItems({"127.0.0.1", PublicServerAddress});
    ComboBox2->setEditText(PublicServerAddress);
    CheckBox1 = new QCheckBox("Run Full Screen", this);
    BitBtn2 = new QPushButton("&Connect", this);
    BitBtn3 = new QPushButton("&Quit", this);

    auto* form = new QFormLayout;
    form->addRow("Character &Name", ComboBox1);
    form->addRow("&Password", Edit2);
    auto* world = new QHBoxLayout;
    world->addWidget(Edit1);
    world->addWidget(BitBtn1);
    form->addRow("World", world);
    form->addRow("Server IP", ComboBox2);
    form->addRow("", CheckBox1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(BitBtn3, &QPushButton::clicked, this, &TVxLogin::BitBtn3Click);
}

void TVxLogin::showEvent(QShowEvent* e)
{
    FormShow();
    QDialog::showEvent(e);
}

void TVxLogin::FormShow()
{
    setWindowTitle("Veltharn Client -- 0.2.3");
    Edit1->setText(QString::fromStdString(WorldIdentity));
}

void TVxLogin::BitBtn3Click()
{
    QCoreApplication::quit();
}
