// The client's nine windows: one instance each for the whole run, created hidden
// at program entry in this order; the first is the application's main window.
#pragma once

class TInit1;
class TVxLogin;
class TForm1;
class TShapeInfoForm;
class TVxLocation;
class TIregExForm;
class TFullScreenForm;
class TConnections;
class TPickWorldForm;

extern TInit1* Init1;
extern TVxLogin* VxLogin;
extern TForm1* Form1;
extern TShapeInfoForm* ShapeInfoForm;
extern TVxLocation* VxLocation;
extern TIregExForm* IregExForm;
extern TFullScreenForm* FullScreenForm;
extern TConnections* Connections;
extern TPickWorldForm* PickWorldForm;

// Creates the nine windows in order, all hidden. Needs the application object.
void CreateClientWindows();
// Joins the windows' flow: connection window, login window and game window.
void ConnectClientWindows();
// Stops the minimap's world overview and drops it from the game window: before the
// world or the static data it is drawn from are loaded again.
void StopWorldOverview();
// Loads the selected world's map (chunk patterns, region map, fixed and movable
// objects) unless it is the one loaded last.
void LoadWorldMap();
// Shows the game window with its stored settings (whole-pixel scaling), asking for
// the world overview when the minimap is on.
void OpenGameWindow();
// The configuration value of the game window's whole-pixel scaling: "Yes" or "No"
// (absent reads as "No").
constexpr const char* kWholePixelScalingValue = "WholePixelScaling";
bool StoredWholePixelScaling();
// Frees them in reverse order and clears the pointers.
void DestroyClientWindows();

class QWidget;
// Places a top-level window in the middle of the primary screen.
void CentreOnDesktop(QWidget* window);
// Marks a dialog as fixed, without title-bar buttons.
void MakeFixedDialog(QWidget* window, int clientWidth, int clientHeight);
