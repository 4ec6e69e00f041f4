// The start-up window: "Initializing..." with a progress bar, and the timer
// that runs the start-up step two seconds after the window first becomes active.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

class TInit1 : public QWidget {
    Q_OBJECT
public:
    TInit1();

    QFrame* Panel1;
    QProgressBar* PBar;
    QLabel* Label1;
    QTimer* Timer1;

    // Enables Timer1 while the start-up step has not run yet. Activations
    // after the step began (a dialog of the step closing, the error box of a
    // failed step) leave it off, so the step never runs twice by itself.
    void FormActivate();
    // The start-up step.
    void Timer1Timer();
    // Loads the static data, showing progress in PBar and Label1.
    void LoadStaticData();

    // Set when the application was asked to end (the picker was left, or this
    // window was closed).
    bool TerminateRequested = false;
    // Set when --connect has pressed Connect.
    bool ConnectPressed = false;
    // Set when Timer1 first fired.
    bool StepStarted = false;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    // Closing the start-up window ends the client, whatever else is showing (the
    // extraction window stays up after a failed extraction, and would otherwise
    // keep the client running with no way to end it).
    void closeEvent(QCloseEvent* e) override;
};
