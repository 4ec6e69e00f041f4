// The world installation windows: the game-folder picker, the extraction window
// and the world picker, and InstallWorld, which leads through them.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <memory>
#include <string>

#include "frontend/world_install.h"

class SampleWorldJob;
class TVxaConfig;

// "Specify Tessarine Location": a drive box and a folder tree; callers read the
// tree's current folder after OK. "Make a sample world..." writes the sample world
// into the user's data folder and then closes the picker as OK does, with that
// folder current, for a player who has no copy of the game.
class TVxLocation : public QDialog {
    Q_OBJECT
public:
    TVxLocation();
    ~TVxLocation() override;

    QComboBox* DriveComboBox1;
    QTreeView* DirectoryListBox1;
    QLabel* PathLabel;
    QPushButton* BitBtn1;  // Abort
    QPushButton* BitBtn2;  // OK
    QPushButton* SampleButton;     // "Make a sample world..."
    QProgressBar* SampleProgress;  // the generator's steps, shown while it runs
    QLabel* SampleStatus;          // the step being written, or why it failed

    // The folder tree's current folder, without a trailing separator except at a drive's root.
    QString CurrentFolder() const;
    void SetCurrentFolder(const QString& folder);

    void DriveComboBox1Change();
    void SampleButtonClick();

    // While the sample world is written the picker cannot be left.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SampleTimerTimer();
    void SetPickingEnabled(bool enabled);

    QFileSystemModel* model_;
    QTimer* sampleTimer_;
    std::unique_ptr<SampleWorldJob> sampleJob_;
};

// "Extracting INITGAME.DAT...": three status lines while the unpacking runs.
class TIregExForm : public QDialog {
    Q_OBJECT
public:
    TIregExForm();

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* Edit1;      // game folder to unpack from (hidden)
    QLabel* Label4;        // hidden
    QPushButton* Button1;  // "Go" (hidden)
    std::string OutputFolder;

    // Unpacks Edit1's folder's STATIC\INITGAME.DAT into OutputFolder.
    void Button1Click();
};

// "Select World": one line per installed world and "Install...".
class TPickWorldForm : public QDialog {
    Q_OBJECT
public:
    TPickWorldForm();

    QListWidget* ListBox1;
    QPushButton* BitBtn2;  // "Install..."
    QPushButton* BitBtn3;  // Cancel
    QPushButton* BitBtn1;  // OK

    void FillWorldList();
    void BitBtn2Click();
};

// Installs a world: from `presetFolder` when given (no picker; a folder that is
// not a game folder raises), otherwise from the folder picked in TVxLocation,
// asking again while the picked folder lacks a game file.
InstalledWorld InstallWorld(TVxaConfig& config, const std::string& presetFolder = {});
