// Captions and sizes of the windows that other parts of the client fill in.
#include "frontend/later_windows.h"

#include "frontend/client_windows.h"

TForm1::TForm1()
{
    setWindowTitle("Tessarine Online Client");
    resize(720, 502);
    CentreOnDesktop(this);
}

TShapeInfoForm::TShapeInfoForm()
{
    setWindowTitle("ShapeInfoForm");
    MakeFixedDialog(this, 312, 288);
}
