// The start-up window and the windows' side of the start-up step.
#include "frontend/init_window.h"

#include <QCoreApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QVBoxLayout>

#include "frontend/client_options.h"
#include "frontend/client_windows.h"
#include "frontend/login_window.h"
#include "frontend/offline_game.h"
#include "frontend/startup.h"
#include "frontend/world_windows.h"
#include "net/connections.h"
#include "tools/map_viewer_window.h"

namespace {

// A text of the command line: UTF-8 on Windows, where main() reads the arguments
// again from the wide command line (platform::Utf8Arguments), else in the system's
// own encoding, as the arguments came.
QString ArgumentText(const std::string& text)
{
#ifdef _WIN32
    return QString::fromStdString(text);
#else
    return QString::fromLocal8Bit(text);
#endif
}

// The start-up step's view of the windows.
class WindowsHost : public StartupHost {
public:
    explicit WindowsHost(TInit1& init) : init_(init) {}

    InstalledWorld InstallWorld(TVxaConfig& config) override { return ::InstallWorld(config, CommandLine.InstallWorld); }
    void TickFullScreenBox() override { VxLogin->CheckBox1->setChecked(true); }
    void SetServerAddress(const std::string& address) override
    {
        VxLogin->ComboBox2->setEditText(QString::fromStdString(address));
    }
    void SetProgress(int position, const std::string& caption) override
    {
        init_.Label1->setText(QString::fromStdString(caption));
        init_.PBar->setValue(position);
        QCoreApplication::processEvents();
    }
    void ShowLoginWindow() override
    {
        if (CommandLine.OfflineGame) {
            init_.hide();
            EnterOfflineGame();
            return;
        }
        // The command line fills the login boxes last, over the remembered choices;
        // Connect turns the texts into Latin-1.
        if (!CommandLine.Server.empty())
            VxLogin->ComboBox2->setEditText(ArgumentText(CommandLine.Server));
        if (CommandLine.Name)
            VxLogin->ComboBox1->setEditText(ArgumentText(*CommandLine.Name));
        if (CommandLine.Password)
            VxLogin->Edit2->setText(ArgumentText(*CommandLine.Password));
        if (!CommandLine.TcpPort.empty())
            Connections->TCPPort->setText(QString::fromStdString(CommandLine.TcpPort));
        if (!CommandLine.UdpPort.empty())
            Connections->UDPPort->setText(QString::fromStdString(CommandLine.UdpPort));
        if (!CommandLine.LocalUdpPortBox.empty())
            Connections->LocalUDPPort->setText(QString::fromStdString(CommandLine.LocalUdpPortBox));
        VxLogin->show();
        init_.hide();
        // --connect presses Connect once, after the window has come up the first time.
        if (CommandLine.Connect && !init_.ConnectPressed) {
            init_.ConnectPressed = true;
            QTimer::singleShot(0, VxLogin, [] {
                if (VxLogin->isVisible())
                    VxLogin->BitBtn2->click();
            });
        }
        if (CommandLine.MapViewer)
            Form1->OpenWith(GameFolder);
    }
    void Terminate() override
    {
        init_.TerminateRequested = true;
        QCoreApplication::quit();
    }

private:
    TInit1& init_;
};

}  // namespace

TInit1::TInit1()
{
    setWindowTitle("Initializing...");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(404, 208);
    CentreOnDesktop(this);

    Panel1 = new QFrame(this);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setGeometry(0, 0, 404, 208);
    auto* layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(24, 60, 24, 60);
    PBar = new QProgressBar(Panel1);
    PBar->setRange(0, 100);
    PBar->setValue(0);
    PBar->setTextVisible(false);
    Label1 = new QLabel("Initializing...", Panel1);
    Label1->setAlignment(Qt::AlignCenter);
    layout->addWidget(PBar);
    layout->addWidget(Label1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, &TInit1::Timer1Timer);
}

bool TInit1::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(e);
}

void TInit1::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    // Without a window manager nothing activates a new window: ask for it. Two clients
    // started at once ask together and one of them may never be activated, so showing
    // arms the step as activation does; it still runs once.
    activateWindow();
    FormActivate();
}

void TInit1::closeEvent(QCloseEvent* e)
{
    QWidget::closeEvent(e);
    TerminateRequested = true;
    QCoreApplication::quit();
}

void TInit1::FormActivate()
{
    // QTimer::start would restart a running countdown; enabling an enabled timer must not.
    if (GameFolder == "**" && !StepStarted && !Timer1->isActive())
        Timer1->start();
}

void TInit1::Timer1Timer()
{
    Timer1->stop();
    StepStarted = true;
    WindowsHost host(*this);
    RunStartupStep(host);
}

void TInit1::LoadStaticData()
{
    WindowsHost host(*this);
    ::LoadStaticData(host);
}
