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
#include "tools/map_viewer_window.h"

namespace {

// The command line's choices for the login. Its texts are UTF-8 on Windows, where
// main() reads the arguments again from the wide command line
// (platform::Utf8Arguments), else in the system's own encoding, as the arguments
// came; Connect turns them into Latin-1.
TGivenChoices GivenByCommandLine(const ClientOptions& options)
{
    const auto text = [](const std::string& given) {
#ifdef _WIN32
        return given;
#else
        return QString::fromLocal8Bit(given).toStdString();
#endif
    };
    TGivenChoices given;
    if (!options.Server.empty())
        given.Server = text(options.Server);
    if (options.Name)
        given.Name = text(*options.Name);
    if (options.Password)
        given.Password = text(*options.Password);
    if (!options.TcpPort.empty())
        given.TcpPort = options.TcpPort;
    if (!options.UdpPort.empty())
        given.UdpPort = options.UdpPort;
    if (!options.LocalUdpPortBox.empty())
        given.LocalUdpPort = options.LocalUdpPortBox;
    return given;
}

// The start-up step's view of the windows.
class WindowsHost : public StartupHost {
public:
    explicit WindowsHost(TInit1& init) : init_(init) {}

    InstalledWorld InstallWorld(TVxaConfig& config) override { return ::InstallWorld(config, CommandLine.InstallWorld); }
    void TickFullScreenBox() override
    {
        TGivenChoices stored;
        stored.FullScreen = true;
        VxLogin->Fill(stored);
    }
    void SetServerAddress(const std::string& address) override
    {
        TGivenChoices stored;
        stored.Server = address;
        VxLogin->Fill(stored);
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
        // The command line fills the login's request last, over the remembered choices.
        VxLogin->Fill(GivenByCommandLine(CommandLine));
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
