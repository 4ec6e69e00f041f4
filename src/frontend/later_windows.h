// Windows whose behaviour belongs to other parts of the client. Each stands here
// with its caption and size until its own module replaces it.
#pragma once

#include <QDialog>
#include <QWidget>

// The map viewer.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1();
};

// The shape information window.
class TShapeInfoForm : public QDialog {
    Q_OBJECT
public:
    TShapeInfoForm();
};
