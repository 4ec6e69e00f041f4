// The login window: its three tabs, the character preview and Connect.
#include "frontend/login_window.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QShowEvent>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "data/drawing.h"
#include "data/shapes.h"
#include "data/static_tables.h"
#include "frontend/chat_log.h"
#include "frontend/client_app.h"
#include "frontend/client_options.h"
#include "frontend/client_windows.h"
#include "frontend/init_window.h"
#include "frontend/startup.h"
#include "frontend/vxa_config.h"
#include "frontend/world_windows.h"
#include "window/server_probe.h"

#ifndef VX_PUBLIC_SERVER
#define VX_PUBLIC_SERVER "203.0.113.10"
#endif

std::string CharacterName;
std::string CharacterPassword;
uint16_t CharacterShape = 0;

const char* const TVxLogin::PublicServerAddress = VX_PUBLIC_SERVER;

namespace {

// The banner: the client's name on white.
QPixmap Banner()
{
    QPixmap banner(249, 67);
    banner.fill(Qt::white);
    QPainter p(&banner);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x6b, 0x2a, 0x12));
    QFont title("Serif", 26, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 0, 249, 46), Qt::AlignCenter, "Veltharn");
    p.setPen(QColor(0x50, 0x50, 0x50));
    QFont sub("Sans", 8);
    p.setFont(sub);
    p.drawText(QRect(0, 44, 249, 20), Qt::AlignCenter, "Tessarine online");
    return banner;
}

// A port box's text as a port number; EConvertError names the box otherwise.
uint16_t PortFromBox(const char* box, const std::string& text)
{
    uint16_t port = 0;
    std::string error;
    if (!::PortFromBox(box, text, port, error))
        throw EConvertError(error);
    return port;
}

QPushButton* InactiveButton(const char* text, QWidget* parent)
{
    return new QPushButton(text, parent);
}

}  // namespace

TPreviewBox::TPreviewBox(QWidget* parent) : QWidget(parent) {}

void TPreviewBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!Picture.isNull())
        p.drawImage(QRect(0, 0, width() + 1, height() + 1), Picture);
}

TVxLogin::TVxLogin()
{
    MakeFixedDialog(this, 481, 455);

    Panel1 = new QWidget(this);
    Panel1->setFixedHeight(81);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Image1 = new QLabel(Panel1);
    Image1->setFixedSize(249, 67);
    Image1->setPixmap(Banner());
    auto* bannerLayout = new QHBoxLayout(Panel1);
    bannerLayout->setContentsMargins(7, 7, 7, 7);
    bannerLayout->addWidget(Image1);
    bannerLayout->addStretch();

    PageControl1 = new QTabWidget(this);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet1, "Sign In");
    PageControl1->addTab(TabSheet2, "Servers");
    PageControl1->addTab(TabSheet3, "Characters");

    // Sign In.
    ComboBox1 = new QComboBox(TabSheet1);
    ComboBox1->setEditable(true);
    ComboBox1->setEditText("Avatar");
    Edit2 = new QLineEdit(TabSheet1);
    Edit2->setEchoMode(QLineEdit::Password);
    // Typed characters show as '*', whatever the style would pick.
    Edit2->setStyleSheet("lineedit-password-character: 42");
    Edit1 = new QLineEdit(TabSheet1);
    Edit1->setEnabled(false);
    BitBtn1 = new QPushButton("Change...", TabSheet1);
    ComboBox3 = new QComboBox(TabSheet1);
    ComboBox3->setEditable(true);
    ComboBox3->addItems({"local server", "Test Server"});
    ComboBox3->setEditText("Test Server");
    ComboBox2 = new QComboBox(TabSheet1);
    ComboBox2->setEditable(true);
    ComboBox2->addItems({"127.0.0.1", PublicServerAddress});
    ComboBox2->setEditText(PublicServerAddress);
    CheckBox1 = new QCheckBox("Run Full Screen", TabSheet1);
    CheckBox2 = new QCheckBox("TCP Only", TabSheet1);
    CheckBox2->hide();
    BitBtn2 = new QPushButton("&Connect", TabSheet1);
    BitBtn2->setDefault(true);
    BitBtn3 = new QPushButton("&Quit", TabSheet1);
    CheckButton = new QPushButton("Check", TabSheet1);

    auto* form = new QFormLayout;
    form->addRow("Character &Name", ComboBox1);
    form->addRow("&Password", Edit2);
    auto* world = new QHBoxLayout;
    world->addWidget(Edit1);
    world->addWidget(BitBtn1);
    form->addRow("World", world);
    form->addRow("Server Name", ComboBox3);
    form->addRow("Server IP", ComboBox2);
    form->addRow("", CheckBox1);
    form->addRow("", CheckBox2);
    auto* signInButtons = new QHBoxLayout;
    signInButtons->addWidget(CheckButton);
    signInButtons->addStretch();
    signInButtons->addWidget(BitBtn2);
    signInButtons->addWidget(BitBtn3);
    auto* signIn = new QVBoxLayout(TabSheet1);
    signIn->addLayout(form);
    signIn->addStretch();
    signIn->addLayout(signInButtons);

    // Servers.
    ListView1 = new QTreeWidget(TabSheet2);
    ListView1->setRootIsDecorated(false);
    ListView1->setHeaderLabels({"F", "Name", "World", "Type", "Net", "Players", "Ping", "IP"});
    ListView1->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    ListView1->setColumnWidth(0, 20);
    ListView1->setColumnWidth(1, 100);
    // Narrow enough that a check's findings up to the ping show without scrolling.
    ListView1->setColumnWidth(2, 85);
    ListView1->setColumnWidth(3, 82);
    ListView1->setColumnWidth(4, 68);
    ListView1->setColumnWidth(5, 46);
    ListView1->setColumnWidth(6, 42);
    ListView1->setColumnWidth(7, 120);
    ListView1->addTopLevelItem(new QTreeWidgetItem(
        QStringList{"X", "Test Server", "ANVIL", "vx", "none", "?", "?", PublicServerAddress}));
    ListView1->setSortingEnabled(true);
    ListView1->sortByColumn(0, Qt::AscendingOrder);
    auto* serverButtons = new QHBoxLayout;
    RefreshAll = new QPushButton("Refresh All", TabSheet2);
    RefreshVis = new QPushButton("Refresh Vis", TabSheet2);
    serverButtons->addWidget(RefreshAll);
    serverButtons->addWidget(RefreshVis);
    serverButtons->addStretch();
    serverButtons->addWidget(InactiveButton("Set Master...", TabSheet2));
    auto* servers = new QVBoxLayout(TabSheet2);
    servers->addWidget(ListView1, 1);
    servers->addLayout(serverButtons);

    // Characters.
    // The frame lies around the box, so the picture covers the whole box.
    auto* previewFrame = new QFrame(TabSheet3);
    previewFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
    previewFrame->setLineWidth(1);
    QPalette grey = previewFrame->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    previewFrame->setPalette(grey);
    PaintBox1 = new TPreviewBox(previewFrame);
    PaintBox1->setFixedSize(145, 193);
    auto* previewLayout = new QVBoxLayout(previewFrame);
    previewLayout->setContentsMargins(1, 1, 1, 1);
    previewLayout->addWidget(PaintBox1);
    Label1 = new QLabel("Shape Name", TabSheet3);
    Label1->setAlignment(Qt::AlignCenter);
    SpeedButton1 = new QToolButton(TabSheet3);
    SpeedButton1->setArrowType(Qt::LeftArrow);
    SpeedButton2 = new QToolButton(TabSheet3);
    SpeedButton2->setArrowType(Qt::RightArrow);
    auto* figure = new QGridLayout;
    figure->addWidget(previewFrame, 0, 0, 1, 3, Qt::AlignCenter);
    figure->addWidget(SpeedButton1, 1, 0);
    figure->addWidget(Label1, 1, 1);
    figure->addWidget(SpeedButton2, 1, 2);
    auto* stats = new QVBoxLayout;
    stats->addWidget(new QLabel("stats, whatever", TabSheet3));
    stats->addWidget(new QListWidget(TabSheet3), 1);
    auto* characterButtons = new QHBoxLayout;
    characterButtons->addWidget(InactiveButton("Retrieve...", TabSheet3));
    characterButtons->addWidget(InactiveButton("Create...", TabSheet3));
    stats->addLayout(characterButtons);
    auto* characters = new QHBoxLayout(TabSheet3);
    characters->addLayout(figure);
    characters->addLayout(stats, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(Panel1);
    layout->addWidget(PageControl1, 1);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);

    connect(Timer1, &QTimer::timeout, this, &TVxLogin::Timer1Timer);
    connect(SpeedButton1, &QToolButton::clicked, this, &TVxLogin::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TVxLogin::SpeedButton2Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TVxLogin::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TVxLogin::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TVxLogin::BitBtn3Click);
    connect(CheckButton, &QPushButton::clicked, this, &TVxLogin::CheckButtonClick);
    connect(RefreshAll, &QPushButton::clicked, this, &TVxLogin::RefreshAllClick);
    connect(RefreshVis, &QPushButton::clicked, this, &TVxLogin::RefreshVisClick);
}

void TVxLogin::showEvent(QShowEvent* e)
{
    // Only a showing by the program restarts the preview. The window system's own show
    // events (a restore from minimised) leave the chosen figure where it is.
    if (!e->spontaneous())
        FormShow();
    QDialog::showEvent(e);
}

void TVxLogin::FormShow()
{
    setWindowTitle("Veltharn Client -- 0.2.3");
    if (VxShapes)
        CharacterShape = VxShapes->NextCharacterShape(300);
    PreviewFrame = 17;
    Edit1->setText(QString::fromLatin1(WorldIdentity.data(), qsizetype(WorldIdentity.size())));
    Timer1->start();
}

void TVxLogin::Timer1Timer()
{
    PreviewFrame = uint16_t(PreviewFrame + 1);
    if (PreviewFrame > 18)
        PreviewFrame = 17;
    Label1->setText(QString("%1 %2").arg(CharacterShape).arg(PreviewFrame));
    if (!VxShapes)
        return;
    // The preview draws into a picture of its own: the shared colour and owner buffers
    // belong to the render thread and the map viewer, which may be using them now.
    static uint32_t previewColours[kViewHeight][kViewWidth];
    static OwnerRecord previewOwners[kViewHeight][kViewWidth];
    struct OwnBuffers {
        OwnBuffers() { DrawIntoOnThisThread(&previewColours[0][0], &previewOwners[0][0]); }
        ~OwnBuffers() { DrawIntoSharedBuffers(); }
    } own;
    ClearOwners();
    for (auto& row : previewColours)
        for (uint32_t& pixel : row)
            pixel = 0xFFFFFF;
    VxShapes->DrawFrame(65, 70, CharacterShape, PreviewFrame, DrawBox{});
    QImage picture(75, 70, QImage::Format_RGB32);
    for (int y = 0; y < 70; ++y)
        std::memcpy(picture.scanLine(y), previewColours[y], 75 * sizeof(uint32_t));
    PaintBox1->Picture = picture;
    PaintBox1->update();
}

void TVxLogin::SpeedButton1Click()
{
    if (VxShapes)
        CharacterShape = VxShapes->PreviousCharacterShape(CharacterShape);
    Timer1Timer();
}

void TVxLogin::SpeedButton2Click()
{
    if (VxShapes)
        CharacterShape = VxShapes->NextCharacterShape(CharacterShape);
    Timer1Timer();
}

TConnectRequest TVxLogin::Request() const
{
    TConnectRequest r;
    r.Name = ComboBox1->currentText().toStdString();
    r.Password = Edit2->text().toStdString();
    r.Server = ComboBox2->currentText().toStdString();
    r.FullScreen = CheckBox1->isChecked();
    r.Ports = Ports;
    r.Figure = CharacterShape;
    r.WorldIdentity = WorldIdentity;
    r.FirstArgument = CommandLine.FirstArgument;
    return r;
}

void TVxLogin::Fill(const TGivenChoices& given)
{
    if (given.Server)
        ComboBox2->setEditText(QString::fromStdString(*given.Server));
    if (given.Name)
        ComboBox1->setEditText(QString::fromStdString(*given.Name));
    if (given.Password)
        Edit2->setText(QString::fromStdString(*given.Password));
    if (given.FullScreen)
        CheckBox1->setChecked(*given.FullScreen);
    ApplyGivenPorts(given, Ports);
}

void TVxLogin::BitBtn2Click()
{
    const TConnectSteps steps = PlanConnect(Request());
    if (!steps.Refusal.empty()) {
        Refuse(steps);
        return;
    }
    Timer1->stop();
    hide();
    CharacterName = steps.Login.CharacterName;
    CharacterPassword = steps.Login.CharacterPassword;
    if (SetFullScreen)
        SetFullScreen(CheckBox1->isChecked());
    for (const auto& [name, value] : steps.Store)
        VxaConfig->WriteValue(name, value);
    if (ShowConnect)
        ShowConnect(steps);
    if (!steps.BadPort.empty())
        throw EConvertError(steps.BadPort);
    if (StartConnect)
        StartConnect(steps);
}

void TVxLogin::Refuse(const TConnectSteps& steps)
{
    if (OwnLogLine)
        OwnLogLine(steps.Refusal);
    // The connection window, whose log holds the line, is not shown: a notice says it too.
    TVxApplication::ShowMessage(windowTitle(), steps.Refusal);
    (steps.Focus == TConnectSteps::EBox::Name ? static_cast<QWidget*>(ComboBox1) : Edit2)->setFocus();
}

void TVxLogin::BitBtn1Click()
{
    PickWorldForm->FillWorldList();
    if (PickWorldForm->exec() != QDialog::Accepted)
        return;
    int selected = -1;
    for (int i = 0; i < PickWorldForm->ListBox1->count(); ++i)
        if (PickWorldForm->ListBox1->item(i)->isSelected())
            selected = i;
    if (selected < 0)
        return;
    VxaConfig->WriteItem(1, kListWorlds, std::to_string(selected + 1));
    Timer1->stop();
    ShapesLoaded = false;
    hide();
    Init1->Timer1->start();
}

void TVxLogin::BitBtn3Click()
{
    QCoreApplication::quit();
}

// --- the server check ---

namespace {

// Columns of ListView1.
enum { ColF, ColName, ColWorld, ColType, ColNet, ColPlayers, ColPing, ColIP };

// A row's own TCP port, kept beside its address.
constexpr int PortRole = Qt::UserRole;

// A text from a server, as the list shows it: control characters visible, cut.
QString Shown(std::string_view text)
{
    return QString::fromStdString(TChatLog::Clean(text, 64));
}

}  // namespace

uint16_t TVxLogin::RowPort(const QTreeWidgetItem* row) const
{
    const QVariant own = row->data(ColIP, PortRole);
    if (own.isValid())
        return uint16_t(own.toUInt());
    return PortFromBox("TCP port", Ports.Tcp);
}

void TVxLogin::CheckButtonClick()
{
    const QString address = ComboBox2->currentText().trimmed();
    const uint16_t port = PortFromBox("TCP port", Ports.Tcp);
    QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < ListView1->topLevelItemCount() && !row; ++i) {
        QTreeWidgetItem* r = ListView1->topLevelItem(i);
        if (r->text(ColIP) == address && RowPort(r) == port)
            row = r;
    }
    if (!row) {
        row = new QTreeWidgetItem(QStringList{"?", ComboBox3->currentText(), "?", "vx", "", "?", "?", address});
        row->setData(ColIP, PortRole, uint(port));
        ListView1->addTopLevelItem(row);
    }
    PageControl1->setCurrentWidget(TabSheet2);
    ListView1->setCurrentItem(row);
    CheckServer(row);
}

void TVxLogin::RefreshAllClick()
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        CheckServer(ListView1->topLevelItem(i));
}

void TVxLogin::RefreshVisClick()
{
    const QRect shown = ListView1->viewport()->rect();
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (!row->isHidden() && ListView1->visualItemRect(row).intersects(shown))
            CheckServer(row);
    }
}

void TVxLogin::CheckServer(QTreeWidgetItem* row)
{
    if (probes_.contains(row))
        return;  // its check is still running
    const uint16_t port = RowPort(row);
    auto* probe = new TServerProbe(row->text(ColIP).trimmed(), port, WorldIdentity, this);
    probes_.insert(row, probe);
    row->setText(ColNet, "checking");
    connect(probe, &TServerProbe::Finished, this, [this, row, probe] {
        ShowCheck(row, *probe);
        probes_.remove(row);
        probe->deleteLater();
    });
    probe->Start();
}

void TVxLogin::ShowCheck(QTreeWidgetItem* row, const TServerProbe& probe)
{
    using EState = net::TServerCheckResult::EState;
    const net::TServerCheckResult& r = probe.Result();
    const bool playable = r.State == EState::Answered && r.SameProtocol && r.SameWorld;
    row->setText(ColF, playable ? "Y" : "X");
    row->setText(ColWorld, r.Identity.empty() ? QString("?") : Shown(r.Identity));
    if (r.State == EState::Answered)
        row->setText(ColType, !r.SameProtocol ? "protocol " + Shown(r.ProtocolVersion)
                              : r.SameWorld   ? QString("same world")
                                              : QString("other world"));
    else
        row->setText(ColType, "?");
    switch (r.State) {
    case EState::Answered: row->setText(ColNet, "answered"); break;
    case EState::Full: row->setText(ColNet, "full"); break;
    case EState::NoAnswer: row->setText(ColNet, "no answer"); break;
    case EState::Unreachable: row->setText(ColNet, "unreachable"); break;
    case EState::Checking: break;
    }
    row->setText(ColPing, r.RoundTrip >= 0 ? QString("%1 ms").arg(r.RoundTrip) : QString("?"));
    QString tip = QString("%1:%2").arg(probe.Address).arg(probe.Port);
    if (!r.Welcome.empty())
        tip += "\n" + Shown(r.Welcome);
    if (!r.Fault.empty())
        tip += "\n" + Shown(r.Fault);
    for (int c = 0; c < ListView1->columnCount(); ++c)
        row->setToolTip(c, tip);
}
