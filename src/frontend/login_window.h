// The login window, with the boxes the start-up step fills in.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

class TVxLogin : public QDialog {
    Q_OBJECT
public:
    TVxLogin();

    QComboBox* ComboBox1;  // character name
    QLineEdit* Edit2;      // password
    QLineEdit* Edit1;      // current world, read only
    QComboBox* ComboBox2;  // server address
    QCheckBox* CheckBox1;  // "Run Full Screen"
    QPushButton* BitBtn1;  // "Change..."
    QPushButton* BitBtn2;  // "&Connect"
    QPushButton* BitBtn3;  // "&Quit"

    void FormShow();
    void BitBtn3Click();

    static constexpr const char* PublicServerAddress = "203.0.113.10";

protected:
    void showEvent(QShowEvent* e) override;
};
