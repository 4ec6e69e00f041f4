// The login window: character name, password, server, world and figure, and Connect.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "client/connect_request.h"

// The login choices, read by the login handshake. Name and password are Latin-1
// bytes, as they go on the wire.
extern std::string CharacterName;
extern std::string CharacterPassword;
extern uint16_t CharacterShape;

// The character preview: the top-left 75 x 70 pixels of the colour buffer,
// stretched over the whole box.
class TPreviewBox : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewBox(QWidget* parent);
    QImage Picture;  // what the box shows; null until the first preview

protected:
    void paintEvent(QPaintEvent* e) override;
};

class TServerProbe;

class TVxLogin : public QDialog {
    Q_OBJECT
public:
    TVxLogin();

    QWidget* Panel1;            // white banner panel, 81 pixels high
    QLabel* Image1;             // the banner picture, 249 x 67
    QTabWidget* PageControl1;
    QWidget* TabSheet1;         // "Sign In"
    QWidget* TabSheet2;         // "Servers"
    QWidget* TabSheet3;         // "Characters"

    QComboBox* ComboBox1;  // character name
    QLineEdit* Edit2;      // password
    QLineEdit* Edit1;      // current world, read only
    QPushButton* BitBtn1;  // "Change..."
    QComboBox* ComboBox3;  // server name, no action
    QComboBox* ComboBox2;  // server address
    QCheckBox* CheckBox1;  // "Run Full Screen"
    QCheckBox* CheckBox2;  // "TCP Only", hidden
    QPushButton* BitBtn2;  // "&Connect"
    QPushButton* BitBtn3;  // "&Quit"
    QPushButton* CheckButton;  // "Check": the server in ComboBox2, without logging in

    QTreeWidget* ListView1;  // the server list: one fixed row, and each server checked
    QPushButton* RefreshAll;  // checks every server in the list
    QPushButton* RefreshVis;  // checks the servers the list shows now

    TPreviewBox* PaintBox1;     // 145 x 193
    QLabel* Label1;             // "<shape> <frame>"
    QToolButton* SpeedButton1;  // previous figure
    QToolButton* SpeedButton2;  // next figure

    QTimer* Timer1;  // 500 ms preview step, off until the window shows
    uint16_t PreviewFrame = 17;

    void FormShow();
    void Timer1Timer();
    void SpeedButton1Click();
    void SpeedButton2Click();
    // Connect: the client core's steps for the boxes' request (PlanConnect), carried
    // out. A name or password holding a character outside Latin-1 (which the wire
    // cannot carry) ends it at once: the window stays up, nothing is connected, and
    // one line names the box. A port box of the connection window that is not a port
    // number raises EConvertError before either endpoint is touched.
    void BitBtn2Click();
    // The request the boxes make now.
    TConnectRequest Request() const;
    // The command line's (or the configuration's) choices into the boxes.
    void Fill(const TGivenChoices& given);
    // The connection window's port boxes, which Connect sends to; the command line sets them.
    TConnectPorts Ports;
    // Where Connect's steps go: the connection window starts the session and shows,
    // then (unless a port box is bad, which raises EConvertError between the two)
    // starts the endpoints; it also takes the log line of a refused Connect.
    std::function<void(const TConnectSteps& steps)> ShowConnect;
    std::function<void(const TConnectSteps& steps)> StartConnect;
    std::function<void(std::string_view line)> OwnLogLine;
    // Change...: the world picker; a new choice reloads everything for it.
    void BitBtn1Click();
    void BitBtn3Click();

    // The server check: contacts a server without logging in and shows in its row of
    // ListView1 whether it answered, its world, and the round trip. Check adds (or
    // finds) the row of ComboBox2's address and the connection window's TCP port and
    // brings the "Servers" tab forward.
    void CheckButtonClick();
    void RefreshAllClick();
    void RefreshVisClick();
    void CheckServer(QTreeWidgetItem* row);
    // Checks not finished yet.
    int ChecksRunning() const { return int(probes_.size()); }
    // A row's TCP port: its own when it has one, else the connection window's box
    // (EConvertError when that is not a port).
    uint16_t RowPort(const QTreeWidgetItem* row) const;

    // The game window's full-screen switch, run by Connect.
    std::function<void(bool on)> SetFullScreen;

    // The public server offered beside the loopback address (a build setting).
    static const char* const PublicServerAddress;

protected:
    // FormShow, when the program shows the window (not on a restore from minimised).
    void showEvent(QShowEvent* e) override;

private:
    // Refuses Connect with its line and puts the focus on the box it names.
    void Refuse(const TConnectSteps& steps);
    void ShowCheck(QTreeWidgetItem* row, const TServerProbe& probe);

    QHash<QTreeWidgetItem*, TServerProbe*> probes_;
};
