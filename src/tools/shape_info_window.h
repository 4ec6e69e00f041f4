// The shape information window: a shape's three tile-flag bytes, bit by bit.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <cstdint>

class TShapeInfoForm : public QDialog {
    Q_OBJECT
public:
    TShapeInfoForm();

    QLabel* Label1;
    QLineEdit* Edit1;  // shape number
    QLabel* Label2;
    QLineEdit* Edit2;  // frame number
    QLabel* Label3;    // "TFA Data:"
    QPlainTextEdit* Memo1;

    // Rewrites the memo with the flags of the shape in bits 0-9 of `shapeWord`.
    // The caller fills Edit1 and Edit2.
    void FillShapeInfo(uint16_t shapeWord);
};
