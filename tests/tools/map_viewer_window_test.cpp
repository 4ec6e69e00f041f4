// The map viewer and shape information windows on the offscreen platform, driven
// through their handlers and real mouse and key events.
#include "tools/map_viewer_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

#include "data/drawing.h"
#include "data/static_tables.h"
#include "data/world_map.h"
#include "net/npc_list.h"
#include "platform/binary_file.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "support/temp_folder.h"
#include "tools/shape_info_window.h"
#include "view/picture_buffers.h"
#include "world_generator.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Send(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(at), to->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(to, &e);
}

class ViewerWindow : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "map_viewer_window_test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QApplication(argc, argv);
        world = new support::TempFolder("viewer_world");
        worldgen::GenerateWorld(world->Path(), 1);
        // The chunk cell at tile (0, 25) holds a shape that does not exist: views leave
        // its pixels as the view before them left them.
        std::vector<uint8_t> map = ReadAll(world->Path() + "STATIC/VXMAP");
        const int pattern = map[32] | map[33] << 8;  // region 0, chunk row 1, column 0
        std::fstream chunks(world->Path() + "STATIC/VXCHUNKS", std::ios::in | std::ios::out | std::ios::binary);
        chunks.seekp(std::streamoff(pattern) * 512 + 9 * 32);
        chunks.write("\xE8\x03", 2);  // shape 1000
        NPCList = std::make_unique<net::TNPCList>();
    }
    static void TearDownTestSuite()
    {
        NPCList.reset();
        delete world;
        VxShapes.reset();
    }

    void SetUp() override
    {
        form = std::make_unique<TForm1>();
        info = std::make_unique<TShapeInfoForm>();
        form->ShapeInfoForm = info.get();
        form->show();
        QApplication::processEvents();
    }

    void Begin()
    {
        form->Edit1->setText(QString::fromStdString(world->Path()));
        form->Button1Click();
    }

    static support::TempFolder* world;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TShapeInfoForm> info;
    support::TempFolder out{"viewer_out"};
};
support::TempFolder* ViewerWindow::world = nullptr;

}  // namespace

TEST_F(ViewerWindow, StartsWithTheDesignValues)
{
    EXPECT_EQ(form->windowTitle(), "Tessarine Online Client");
    EXPECT_EQ(form->size(), QSize(720, 502));
    EXPECT_EQ(form->Label8->text(), "No Data");
    EXPECT_EQ(form->Label9->text(), "X=?, Y=?");
    EXPECT_EQ(form->SpinEdit3->value(), 940);
    EXPECT_EQ(form->SpinEdit4->value(), 1220);
    EXPECT_EQ(form->SpinEdit6->value(), 16);
    EXPECT_EQ(form->SpinEdit3->maximum(), 3071);
    EXPECT_EQ(form->SpinEdit6->maximum(), 16);
    EXPECT_FALSE(form->CheckBox1->isChecked());
    EXPECT_EQ(form->Timer1->interval(), 1);
    EXPECT_EQ(form->Drag.ViewX, 940);
    EXPECT_EQ(form->Drag.ViewY, 1220);
    EXPECT_EQ(info->windowTitle(), "ShapeInfoForm");
    EXPECT_EQ(info->size(), QSize(312, 288));
    EXPECT_EQ(info->Label3->text(), "TFA Data:");

    form->OpenWith("/games/tess/");
    EXPECT_EQ(form->Edit1->text(), "/games/tess/");
    form->OpenWith("**");  // no world settled yet: the box keeps its text
    EXPECT_EQ(form->Edit1->text(), "/games/tess/");
}

TEST_F(ViewerWindow, BeginLoadsAndLocksTheFolder)
{
    Begin();
    EXPECT_EQ(form->Label8->text(), "Ready.");
    EXPECT_EQ(form->Label1->text(), "Flexer and Shaper initialized.");
    EXPECT_EQ(form->Label2->text(), "Chunks and regions loaded.");
    EXPECT_EQ(form->Label3->text(), "IFIX loaded.");
    EXPECT_EQ(form->Label4->text(), "Initialization complete.");
    EXPECT_FALSE(form->Button1->isEnabled());
    EXPECT_FALSE(form->Edit1->isEnabled());
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
    form->OpenWith("/elsewhere/");
    EXPECT_EQ(form->Edit1->text().toStdString(), world->Path()) << "a loaded folder stays";

}

TEST_F(ViewerWindow, AFailedBeginLeavesTheLoadedDataInUseAndBeginEnabled)
{
    Begin();
    const TVxShapes* loaded = VxShapes.get();
    const uint32_t colour = ColourTable[100];
    namespace fs = std::filesystem;
    // Folders that fail at the first file, at the shapes, and at the last static file.
    const std::vector<std::function<void(const std::string&)>> damage = {
        [](const std::string&) {},
        [&](const std::string& to) {
            fs::create_directories(to + "STATIC");
            fs::copy_file(world->Path() + "STATIC/PALETTES.FLX", to + "STATIC/PALETTES.FLX");
        },
        [&](const std::string& to) {
            fs::copy(world->Folder(), to, fs::copy_options::recursive);
            fs::remove(to + "STATIC/TFA.DAT");
        },
    };
    for (size_t k = 0; k < damage.size(); ++k) {
        SCOPED_TRACE(k);
        support::TempFolder folder("viewer_damaged");
        damage[k](folder.Path());
        TForm1 other;
        other.Edit1->setText(QString::fromStdString(folder.Path()));
        EXPECT_THROW(other.Button1Click(), EInOutError);
        EXPECT_EQ(VxShapes.get(), loaded);
        EXPECT_EQ(ColourTable[100], colour);
        EXPECT_EQ(other.Label8->text(), "Failed.");
        EXPECT_TRUE(other.Button1->isEnabled());
        EXPECT_TRUE(other.Edit1->isEnabled());
        EXPECT_EQ(other.cursor().shape(), Qt::ArrowCursor);
        // The client can still load a world and draw it.
        EXPECT_NO_THROW(LoadRegLists(world->Path() + "GAMEDAT/VXIREG"));
        std::memset(ColourBuffer, 0, sizeof ColourBuffer);
        platform::ConsoleCapture console;
        other.BitBtn2Click();
        EXPECT_NE(ColourBuffer[100][160], 0u);
        EXPECT_EQ(console.Lines(), std::vector<std::string>{}) << "every shape draws whole";
    }
}

TEST_F(ViewerWindow, DrawShapeWithGridPresentsTheGridStretched)
{
    Begin();
    form->CheckBox1->setChecked(true);
    form->SpinEdit1->setValue(0);
    form->Button2Click();
    const QImage& shown = form->PaintBox1->Picture;
    EXPECT_EQ(shown.pixel(7, 1) & 0xFFFFFF, 0xB4B4FFu);
    EXPECT_EQ(shown.pixel(1, 12) & 0xFFFFFF, 0xB4B4FFu);
    EXPECT_EQ(shown.pixel(160, 20) & 0xFFFFFF, 0xFF6464u);
    EXPECT_EQ(shown.pixel(2, 2) & 0xFFFFFF, 0xFFFFFFu);
    const QImage onScreen = form->PaintBox1->grab().toImage();
    EXPECT_EQ(onScreen.pixel(onScreen.width() / 2 + 1, 5) & 0xFFFFFF, 0xFF6464u) << "the red axis in the middle";
}

TEST_F(ViewerWindow, PickAtTheCornerAndShapeInfo)
{
    Begin();
    form->BitBtn2Click();
    QWidget* box = form->PaintBox1;
    // The town's middle: something with an owner is drawn there.
    Send(box, QEvent::MouseButtonPress, QPoint(box->width() / 2, box->height() / 2 + 10), Qt::LeftButton, Qt::LeftButton);
    Send(box, QEvent::MouseButtonRelease, QPoint(box->width() / 2, box->height() / 2 + 10), Qt::LeftButton, Qt::NoButton);
    const tools::BufferPixel p = tools::PaintBoxToBuffer(box->width() / 2, box->height() / 2 + 10, box->width(), box->height());
    const OwnerRecord& o = OwnerBuffer[p.y][p.x];
    EXPECT_EQ(form->PickedShape, o.Shape);
    EXPECT_EQ(form->Label9->text().toStdString(),
              "X=" + std::to_string(o.Col) + " Y=" + std::to_string(o.Row) + " TX=" + std::to_string(o.ColMin) +
                  " TY=" + std::to_string(o.RowMin) + " L=" + std::to_string(o.Lift) + " H=" + std::to_string(o.Height));

    // The corner picks buffer pixel (319, 199).
    OwnerBuffer[199][319] = OwnerRecord{1, 2, 3, 4, 5, 6, uint16_t(301 | 3 << 10)};
    form->PaintBox1MouseDown(box->width(), box->height());
    EXPECT_EQ(form->Label9->text(), "X=3 Y=4 TX=1 TY=2 L=5 H=6");
    EXPECT_EQ(form->PickedShape, 301 | 3 << 10);

    form->Button3Click();
    EXPECT_TRUE(info->isVisible());
    EXPECT_FALSE(info->isModal());
    EXPECT_EQ(info->Edit1->text(), "301");
    EXPECT_EQ(info->Edit2->text(), "3");
    const QStringList lines = info->Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], "TFA Byte1:");
    EXPECT_EQ(lines[1], "76543210");
    uint8_t byte = 0;
    for (int i = 0; i < 8; ++i)
        byte = uint8_t(byte << 1 | (lines[2][i] == '1'));
    EXPECT_EQ(byte, VxShapes->TileFlags[301][0]);
}

TEST_F(ViewerWindow, DraggingRightMovesTheViewLeftAndRedraws)
{
    Begin();
    QWidget* box = form->PaintBox1;
    std::memset(ColourBuffer, 0, sizeof ColourBuffer);
    Send(box, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::NoButton);
    Send(box, QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
    Send(box, QEvent::MouseMove, QPoint(130, 100), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form->SpinEdit3->value(), 930);
    EXPECT_EQ(form->SpinEdit4->value(), 1220);
    EXPECT_NE(ColourBuffer[100][160], 0u) << "the map was drawn";
    // Typed values are not copied back: the next drag goes on from 930.
    form->SpinEdit3->setValue(100);
    Send(box, QEvent::MouseMove, QPoint(133, 100), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form->SpinEdit3->value(), 929);
    Send(box, QEvent::MouseButtonRelease, QPoint(133, 100), Qt::LeftButton, Qt::NoButton);
    // Dragging past the world's edge stops the box at its end.
    Send(box, QEvent::MouseMove, QPoint(0, 0), Qt::NoButton, Qt::NoButton);
    Send(box, QEvent::MouseMove, QPoint(0, 5000), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form->SpinEdit4->value(), 0);
}

TEST_F(ViewerWindow, DragsMoveTheViewByThePointersMovementWhereverTheyStart)
{
    Begin();
    // Over the paint box the mouse is tracked; a drag may also start on the panel below
    // it, on a label there, or on the form's own margin, where no move without a button
    // reaches the form.
    const std::vector<std::pair<QWidget*, QPoint>> starts = {
        {form->PaintBox1, QPoint(40, 40)},
        {form->Label1, QPoint(2, 2)},
        {form->Label1->parentWidget(), QPoint(3, 3)},
        {form.get(), QPoint(0, 5)},
    };
    for (const auto& [widget, at] : starts) {
        SCOPED_TRACE(widget->metaObject()->className());
        form->SpinEdit3->setValue(940);
        form->SpinEdit4->setValue(1220);
        form->Drag.ViewX = 940;
        form->Drag.ViewY = 1220;
        QTest::mouseMove(form->PaintBox1, QPoint(300, 200));
        QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseMove(widget, at + QPoint(30, 0));
        QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at + QPoint(30, 0));
        EXPECT_EQ(form->SpinEdit3->value(), 930);
        EXPECT_EQ(form->SpinEdit4->value(), 1220);
    }
}

TEST_F(ViewerWindow, HeldArrowsScrollSixtyFourStepsASecondWhateverTheTimersRate)
{
    Begin();
    // The timer runs at its 1 ms interval; each millisecond of the clock brings a tick.
    platform::FakeClock clock(999);
    form->Timer1->start();
    const auto run = [&](int ms) {
        for (int t = 0; t < ms; ++t) {
            clock.Advance(1);
            QTimerEvent tick(form->Timer1->timerId());
            QCoreApplication::sendEvent(form->Timer1, &tick);
        }
    };
    const auto key = [&](QEvent::Type type, int qtKey) {
        QKeyEvent e(type, qtKey, Qt::NoModifier);
        QApplication::sendEvent(form->BitBtn2, &e);  // the form sees keys sent to its controls
    };
    run(1);  // the clock's second starts with a tick
    key(QEvent::KeyPress, Qt::Key_Up);
    run(1000);
    EXPECT_EQ(form->SpinEdit4->value(), 1220 - 64);
    key(QEvent::KeyPress, Qt::Key_Q);
    run(1000);
    EXPECT_EQ(form->SpinEdit4->value(), 1156 - 5 * 64);
    key(QEvent::KeyRelease, Qt::Key_Up);
    key(QEvent::KeyRelease, Qt::Key_Q);
    key(QEvent::KeyPress, Qt::Key_Right);  // a 50 ms tap
    run(50);
    key(QEvent::KeyRelease, Qt::Key_Right);
    run(500);
    EXPECT_EQ(form->SpinEdit3->value(), 943);
    EXPECT_EQ(form->SpinEdit4->value(), 836);
    form->FormKeyDown(300);  // outside the table: ignored
    EXPECT_FALSE(form->Keys.AnyArrow());
}

TEST_F(ViewerWindow, RefusesToDrawWhileTheGameRuns)
{
    Begin();
    ASSERT_TRUE(ClaimPictureBuffers(BufferUser::Game));
    EXPECT_THROW(form->BitBtn2Click(), tools::ViewerRefused);
    EXPECT_THROW(form->Button4Click(), tools::ViewerRefused);
    // Drags and keys move the boxes but leave the buffers alone.
    std::memset(ColourBuffer, 0, sizeof ColourBuffer);
    form->FormMouseMove(10, 10, false);
    form->FormMouseMove(40, 10, true);
    EXPECT_EQ(ColourBuffer[100][160], 0u);
    ReleasePictureBuffers(BufferUser::Game);
    EXPECT_TRUE(form->BitBtn2->isEnabled());
}

TEST_F(ViewerWindow, MakeMapMatchesVxmapByteForByte)
{
    Begin();
    form->Edit2->setText(QString::fromStdString(out.Path() + "window.raw"));
    int shownBands = 0;
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, [&](int v) {
        shownBands = v;
        EXPECT_TRUE(form->Button5->isVisible()) << "Cancel is offered while the map is made";
        EXPECT_FALSE(form->Button4->isEnabled());
    });
    platform::ConsoleCapture console;
    form->Button4Click();
    EXPECT_EQ(shownBands, 122);
    // The bands' centre rows in order, among the reports of the shape that does not exist.
    const auto bandRows = [](const std::vector<std::string>& lines) {
        std::vector<std::string> rows;
        for (const std::string& line : lines)
            if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
                rows.push_back(line);
        return rows;
    };
    std::vector<std::string> expected;
    for (int b = 0; b < 122; ++b)
        expected.push_back(std::to_string(12 + 25 * b));
    EXPECT_EQ(bandRows(console.Lines()), expected);
    EXPECT_FALSE(form->Button5->isVisible());
    EXPECT_TRUE(form->Button4->isEnabled());
    const std::vector<uint8_t> window = ReadAll(out.Path() + "window.raw");
    ASSERT_EQ(window.size(), 28374150u);
    const uint8_t* hole = window.data() + 25 * 9303;  // pixel (0, 25)
    EXPECT_NE(hole[0] | hole[1] | hole[2], 0) << "the view before gave the undrawn pixel its colour";

    const std::string command = std::string(VXMAP_PATH) + " makemap --threads 1 --game " + world->Path() +
                                " --out " + out.Path() + "vxmap.raw >" + out.Path() + "lines.txt 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    EXPECT_TRUE(ReadAll(out.Path() + "vxmap.raw") == window) << "one thread or two, window or not: the same bytes";
    std::ifstream file(out.Path() + "lines.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    EXPECT_EQ(bandRows(lines), expected);
}

TEST_F(ViewerWindow, CancelRemovesThePartialFile)
{
    Begin();
    form->Edit2->setText(QString::fromStdString(out.Path() + "cancelled.raw"));
    // Cancel is pressed once the second band is shown.
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, [&](int v) {
        if (v == 2)
            form->Button5->click();
    });
    form->Button4Click();
    EXPECT_EQ(form->ProgressBar1->format(), "Cancelled");
    EXPECT_FALSE(std::filesystem::exists(out.Path() + "cancelled.raw"));
    EXPECT_FALSE(form->MakingMap());
    EXPECT_TRUE(form->BitBtn2->isEnabled());
    EXPECT_EQ(PictureBuffersHolder(), BufferUser::Nobody);

    form->Edit2->setText(QString::fromStdString(out.Path() + "no/such/folder.raw"));
    EXPECT_THROW(form->Button4Click(), EInOutError);
    EXPECT_TRUE(form->Button4->isEnabled());
}
