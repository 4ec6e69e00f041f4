// The map viewer window: controls and events, translated into the calls of
// tools/map_viewer.h, and the presentation of the colour buffer.
#pragma once

#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>
#include <string>

#include "tools/map_viewer.h"

class TShapeInfoForm;

// The paint box: shows the last presented picture stretched over itself.
class TMapPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TMapPaintBox(QWidget* parent);
    QImage Picture{320, 200, QImage::Format_RGB32};

signals:
    void MouseDown(int x, int y);
    void MouseMove(int x, int y, bool leftHeld);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1();

    QLineEdit* Edit1;     // game folder
    QPushButton* Button1;  // "Begin"
    QLabel* Label8;       // load state
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QSpinBox* SpinEdit2;   // chunk number
    QPushButton* BitBtn1;  // "Draw Chunk"
    QSpinBox* SpinEdit3;   // WorldX
    QSpinBox* SpinEdit4;   // WorldY
    QSpinBox* SpinEdit6;   // MaxLift
    QPushButton* BitBtn2;  // "Draw Map"
    QSpinBox* SpinEdit1;   // shape number
    QSpinBox* SpinEdit5;   // frame number
    QCheckBox* CheckBox1;  // "Grid"
    QPushButton* Button2;  // "Draw Shape"
    QLabel* Label9;        // last picked pixel
    QPushButton* Button3;  // "Shape Info"
    QLineEdit* Edit2;      // Make Map's output file
    QPushButton* Button4;  // "Make Map"
    QProgressBar* ProgressBar1;  // Make Map's bands
    QPushButton* Button5;        // "Cancel" while Make Map runs
    QTimer* Timer1;              // keyboard scrolling
    TMapPaintBox* PaintBox1;

    // The shape information window "Shape Info" fills; set by whoever creates both.
    TShapeInfoForm* ShapeInfoForm = nullptr;

    tools::DragState Drag;  // ViewX, ViewY and the last mouse position
    tools::MapViewKeys Keys;
    uint16_t PickedShape = 0;

    // Shows the window in front; Edit1 takes `gameFolder` until Begin has been pressed.
    void OpenWith(const std::string& gameFolder);

    void FormCreate();
    void Button1Click();
    void Button2Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void PaintBox1MouseDown(int x, int y);
    void FormMouseMove(int x, int y, bool leftHeld);
    void FormKeyDown(int virtualKey);
    void FormKeyUp(int virtualKey);
    void Timer1Timer();
    // Timer1's timeout: runs Timer1Timer at most once per 1/64 s of the tick count.
    void Timer1Fired();

    // Copies the colour buffer into the paint box's picture and repaints it now.
    void Present();

    bool MakingMap() const { return makingMap_; }

signals:
    // A Make Map has ended, done, cancelled or failed: the picture buffers are free.
    void MapMakingEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    // Draw Map's drawing, shared by the button, dragging and the keys.
    void DrawMapAndPresent();
    void CopyPicture(const uint32_t* colours);
    void SetMakingMap(bool on);

    bool begun_ = false;
    bool makingMap_ = false;
    bool cancelRequested_ = false;
    uint64_t lastTimerSlot_ = UINT64_MAX;  // the 1/64 s of Timer1's last run
};
