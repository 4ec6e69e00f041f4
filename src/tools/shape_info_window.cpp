// The shape information window's controls and its listing.
#include "tools/shape_info_window.h"

#include <QGuiApplication>
#include <QScreen>

#include "tools/map_viewer.h"

TShapeInfoForm::TShapeInfoForm()
{
    setWindowTitle("ShapeInfoForm");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(312, 288);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

    Label1 = new QLabel("Label1", this);
    Label1->setGeometry(8, 8, 60, 21);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(72, 8, 121, 21);
    Label2 = new QLabel("Label2", this);
    Label2->setGeometry(8, 36, 60, 21);
    Edit2 = new QLineEdit(this);
    Edit2->setGeometry(72, 36, 121, 21);
    Label3 = new QLabel("TFA Data:", this);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label3->setGeometry(8, 68, 60, 21);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(72, 68, 232, 212);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    Memo1->setFont(fixed);
    // The selection stays visible when the memo loses focus.
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    Memo1->setPalette(palette);
}

void TShapeInfoForm::FillShapeInfo(uint16_t shapeWord)
{
    const std::vector<std::string> lines = tools::ShapeInfoLines(shapeWord);
    Memo1->clear();
    for (const std::string& line : lines)
        Memo1->appendPlainText(QString::fromStdString(line));
}
