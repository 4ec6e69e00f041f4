// The world installation windows.
#include "frontend/world_windows.h"

#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "frontend/client_app.h"
#include "frontend/client_windows.h"
#include "frontend/sample_world.h"
#include "frontend/startup.h"
#include "frontend/vxa_config.h"
#include "platform/binary_file.h"
#include "platform/file_names.h"
#include "platform/game_path.h"
#include "world_generator.h"

TVxLocation::TVxLocation()
{
    setWindowTitle("Specify Tessarine Location");
    MakeFixedDialog(this, 275, 328);

    model_ = new QFileSystemModel(this);
    // The window is made at start-up and mostly never shown: until it is, the tree
    // does not watch its folders, or every file written in the home folder and its
    // parents (a busy /tmp, say) would keep the event loop looking up icons.
    model_->setOption(QFileSystemModel::DontWatchForChanges, true);
    model_->setOption(QFileSystemModel::DontUseCustomDirectoryIcons, true);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath("");

    DriveComboBox1 = new QComboBox(this);
    for (const QFileInfo& drive : QDir::drives())
        DriveComboBox1->addItem(QDir::toNativeSeparators(drive.absoluteFilePath()));
    DirectoryListBox1 = new QTreeView(this);
    DirectoryListBox1->setModel(model_);
    DirectoryListBox1->setHeaderHidden(true);
    for (int c = 1; c < model_->columnCount(); ++c)
        DirectoryListBox1->hideColumn(c);
    PathLabel = new QLabel(this);
    BitBtn1 = new QPushButton("Abort", this);
    BitBtn2 = new QPushButton("OK", this);
    BitBtn2->setDefault(true);
    SampleButton = new QPushButton("Make a sample world...", this);
    SampleButton->setAutoDefault(false);
    SampleButton->setToolTip("Writes a small generated world into your data folder and installs it,\n"
                             "for playing without a copy of the game");
    SampleProgress = new QProgressBar(this);
    SampleProgress->setRange(0, worldgen::kGenerateSteps);
    SampleProgress->hide();
    SampleStatus = new QLabel(this);
    SampleStatus->setWordWrap(true);
    SampleStatus->hide();
    sampleTimer_ = new QTimer(this);
    sampleTimer_->setInterval(50);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PathLabel);
    layout->addWidget(new QLabel("Drive", this));
    layout->addWidget(DriveComboBox1);
    layout->addWidget(new QLabel("Directory", this));
    layout->addWidget(DirectoryListBox1, 1);
    layout->addWidget(SampleButton);
    layout->addWidget(SampleProgress);
    layout->addWidget(SampleStatus);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::accept);
    connect(DriveComboBox1, &QComboBox::currentIndexChanged, this, &TVxLocation::DriveComboBox1Change);
    connect(SampleButton, &QPushButton::clicked, this, &TVxLocation::SampleButtonClick);
    connect(sampleTimer_, &QTimer::timeout, this, &TVxLocation::SampleTimerTimer);
    connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { PathLabel->setText(QDir::toNativeSeparators(CurrentFolder())); });

    DriveComboBox1Change();
    SetCurrentFolder(QDir::homePath());
}

TVxLocation::~TVxLocation() = default;

void TVxLocation::showEvent(QShowEvent* event)
{
    model_->setOption(QFileSystemModel::DontWatchForChanges, false);
    QDialog::showEvent(event);
}

void TVxLocation::hideEvent(QHideEvent* event)
{
    model_->setOption(QFileSystemModel::DontWatchForChanges, true);
    QDialog::hideEvent(event);
}

void TVxLocation::DriveComboBox1Change()
{
    const QString drive = QDir::fromNativeSeparators(DriveComboBox1->currentText());
    DirectoryListBox1->setRootIndex(model_->index(drive).parent());
    SetCurrentFolder(drive);
}

QString TVxLocation::CurrentFolder() const
{
    const QModelIndex current = DirectoryListBox1->currentIndex();
    QString path = current.isValid() ? model_->filePath(current) : QDir::fromNativeSeparators(DriveComboBox1->currentText());
    while (path.size() > 1 && path.endsWith('/') && !path.endsWith(":/"))
        path.chop(1);
    return QDir::toNativeSeparators(path);
}

void TVxLocation::SetCurrentFolder(const QString& folder)
{
    const QModelIndex index = model_->index(QDir::fromNativeSeparators(folder));
    if (!index.isValid())
        return;
    DirectoryListBox1->setCurrentIndex(index);
    DirectoryListBox1->scrollTo(index);
    PathLabel->setText(QDir::toNativeSeparators(CurrentFolder()));
}

void TVxLocation::reject()
{
    if (!sampleJob_)
        QDialog::reject();
}

void TVxLocation::SetPickingEnabled(bool enabled)
{
    for (QWidget* control : {static_cast<QWidget*>(DriveComboBox1), static_cast<QWidget*>(DirectoryListBox1),
                             static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(BitBtn2),
                             static_cast<QWidget*>(SampleButton)})
        control->setEnabled(enabled);
}

void TVxLocation::SampleButtonClick()
{
    if (sampleJob_)
        return;
    const std::string folder = SampleWorldFolder();
    SampleStatus->show();
    SampleStatus->setToolTip({});
    if (folder.empty()) {
        SampleStatus->setText("No sample world made: the system names no data folder for this user.");
        return;
    }
    SetPickingEnabled(false);
    SampleProgress->setValue(0);
    SampleProgress->show();
    SampleStatus->setText("Making the sample world in " + QString::fromStdString(folder) + "...");
    sampleJob_ = std::make_unique<SampleWorldJob>(folder);
    sampleTimer_->start();
}

// The worker's progress, read on the window's timer so that the picker keeps
// painting and taking events while the generator writes.
void TVxLocation::SampleTimerTimer()
{
    const SampleWorldJob::Progress progress = sampleJob_->Poll();
    SampleProgress->setValue(std::min(progress.Step, SampleProgress->maximum()));
    if (!progress.Finished) {
        if (!progress.Line.empty())
            SampleStatus->setText("Making the sample world: " + QString::fromStdString(progress.Line));
        return;
    }
    sampleTimer_->stop();
    const QString folder = QString::fromStdString(sampleJob_->Folder());
    sampleJob_.reset();
    SetPickingEnabled(true);
    SampleProgress->hide();
    if (!progress.Error.empty()) {
        const std::string message = "The sample world could not be written to " + folder.toStdString() + ": " +
                                    progress.Error + ". Check that the folder can be written and the disk has room.";
        // The whole message would crowd the fixed window: the line says what happened,
        // its tooltip and the message box say why.
        SampleStatus->setText("No sample world made.");
        SampleStatus->setToolTip(QString::fromStdString(message));
        TVxApplication::ShowMessage("Make a sample world", message);
        return;
    }
    // Installed as if the player had picked the folder and pressed OK.
    SetCurrentFolder(folder);
    if (CurrentFolder() != QDir::toNativeSeparators(folder)) {
        SampleStatus->setText("The sample world was written to " + folder + "; pick that folder and press OK.");
        return;
    }
    SampleStatus->setText("Sample world written to " + folder + ".");
    accept();
}

TIregExForm::TIregExForm()
{
    setWindowTitle("Extracting INITGAME.DAT...");
    MakeFixedDialog(this, 283, 167);

    Label1 = new QLabel(" ", this);
    Label2 = new QLabel(" ", this);
    Label3 = new QLabel(" ", this);
    Label3->setWordWrap(true);
    Edit1 = new QLineEdit("E:\\TESSARINE\\", this);
    Edit1->hide();
    Label4 = new QLabel("Tessarine Directory", this);
    Label4->hide();
    Button1 = new QPushButton("Go", this);
    Button1->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addStretch();
    connect(Button1, &QPushButton::clicked, this, &TIregExForm::Button1Click);
}

void TIregExForm::Button1Click()
{
    Button1->setEnabled(false);
    QLabel* lines[] = {Label1, Label2, Label3};
    ExtractionStatus status;
    status.SetLine = [&](int line, const std::string& text) { lines[line - 1]->setText(QString::fromStdString(text)); };
    status.Repaint = [] { QCoreApplication::processEvents(); };
    ExtractInitGame(Edit1->text().toStdString(), OutputFolder, status);
}

TPickWorldForm::TPickWorldForm()
{
    setWindowTitle("Select World");
    MakeFixedDialog(this, 256, 265);

    ListBox1 = new QListWidget(this);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    BitBtn2 = new QPushButton("Install...", this);
    BitBtn3 = new QPushButton("Cancel", this);
    BitBtn1 = new QPushButton("OK", this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ListBox1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn2);
    buttons->addStretch();
    buttons->addWidget(BitBtn3);
    buttons->addWidget(BitBtn1);
    layout->addLayout(buttons);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn3, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn2, &QPushButton::clicked, this, &TPickWorldForm::BitBtn2Click);
}

void TPickWorldForm::FillWorldList()
{
    ListBox1->clear();
    const int count = VxaConfig->ItemCount(kListWorldTypes);
    // Identity lines are the world's own bytes, shown as the login window shows them.
    for (int n = 1; n <= count; ++n) {
        const std::string identity = VxaConfig->ReadItem(n, kListWorldTypes);
        ListBox1->addItem(QString::fromLatin1(identity.data(), qsizetype(identity.size())));
    }
}

void TPickWorldForm::BitBtn2Click()
{
    if (!InstallWorld(*VxaConfig).Cancelled)
        FillWorldList();
}

InstalledWorld InstallWorld(TVxaConfig& config, const std::string& presetFolder)
{
    auto extract = [](const std::string& gameFolder, const std::string& outputFolder) {
        IregExForm->Edit1->setText(QString::fromStdString(gameFolder));
        IregExForm->OutputFolder = outputFolder;
        IregExForm->show();
        IregExForm->Button1Click();
        IregExForm->hide();
    };
    while (true) {
        std::string folder;
        if (!presetFolder.empty()) {
            std::error_code ec;
            const auto absolute = std::filesystem::absolute(platform::PathFromUtf8(presetFolder), ec);
            folder = ec ? presetFolder : platform::Utf8FromPath(absolute.lexically_normal());
        } else {
            if (VxLocation->exec() != QDialog::Accepted) {
                InstalledWorld cancelled;
                cancelled.Cancelled = true;
                return cancelled;
            }
            folder = VxLocation->CurrentFolder().toStdString();
        }
        const std::string gameFolder = platform::WithTrailingSeparator(folder);
        const std::string missing = MissingGameFileMessage(gameFolder);
        if (missing.empty())
            return InstallWorldFrom(gameFolder, config, extract);
        if (!presetFolder.empty())
            throw EInOutError(missing);
        TVxApplication::ShowMessage("Specify Tessarine Location", missing + "\nPlease pick the folder again.");
    }
}
