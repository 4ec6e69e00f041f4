// The chat log's files: the line format, one file per world and day, pruning by age,
// hostile speakers and texts, and world names that must stay one folder.
#include "frontend/chat_log.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "support/temp_folder.h"

namespace {

QString Read(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return QString::fromUtf8(f.readAll());
}

class ChatLog : public ::testing::Test {
protected:
    ChatLog() : root(QString::fromStdString(folder.Path()) + "chat"), log(root)
    {
        log.Now = [this] { return now; };
    }
    QString File(const char* world, const char* day) const { return root + "/" + world + "/" + day + ".txt"; }

    support::TempFolder folder{"chat_log"};
    QString root;
    TChatLog log;
    QDateTime now{QDate(2026, 3, 14), QTime(21, 5, 9)};
};

TEST_F(ChatLog, AppendsTimeSpeakerAndTextToTheFileOfTheWorldAndDay)
{
    ASSERT_TRUE(log.Append("EMBER VALE", "Wren", "Well met"));
    now = now.addSecs(2);
    ASSERT_TRUE(log.Append("EMBER VALE", "actor 17", "Hello, Wren"));
    ASSERT_TRUE(log.Append("EMBER VALE", "Wren", ""));  // an empty line says nothing
    EXPECT_EQ(Read(File("EMBER VALE", "2026-03-14")), "21:05:09 <Wren> Well met\n21:05:11 <actor 17> Hello, Wren\n");
    EXPECT_EQ(log.CurrentFile(), File("EMBER VALE", "2026-03-14"));

    // Past midnight the next line opens the next day's file; another world has its own.
    now = QDateTime(QDate(2026, 3, 15), QTime(0, 0, 1));
    ASSERT_TRUE(log.Append("EMBER VALE", "Wren", "late"));
    ASSERT_TRUE(log.Append("OTHER", "Wren", "elsewhere"));
    EXPECT_EQ(Read(File("EMBER VALE", "2026-03-15")), "00:00:01 <Wren> late\n");
    EXPECT_EQ(Read(File("OTHER", "2026-03-15")), "00:00:01 <Wren> elsewhere\n");
    EXPECT_EQ(Read(File("EMBER VALE", "2026-03-14")).count('\n'), 2);

    // A second log (the next run) appends to the same day's file.
    TChatLog again(root);
    again.Now = [this] { return now; };
    ASSERT_TRUE(again.Append("OTHER", "Wren", "again"));
    EXPECT_EQ(Read(File("OTHER", "2026-03-15")), "00:00:01 <Wren> elsewhere\n00:00:01 <Wren> again\n");
}

TEST_F(ChatLog, FilesOfMoreThanThirtyDaysAgoGoWhenADayIsOpened)
{
    for (const char* day : {"2026-02-11", "2026-02-12", "2026-03-01"})
        for (const char* world : {"EMBER VALE", "OTHER"}) {
            QDir().mkpath(root + "/" + world);
            QFile f(File(world, day));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
    QFile notOurs(root + "/OTHER/notes.txt");
    ASSERT_TRUE(notOurs.open(QIODevice::WriteOnly));
    notOurs.close();

    ASSERT_TRUE(log.Append("EMBER VALE", "Wren", "hi"));  // 2026-03-14: 2026-02-12 is 30 days ago
    for (const char* world : {"EMBER VALE", "OTHER"}) {
        EXPECT_FALSE(QFile::exists(File(world, "2026-02-11"))) << world;
        EXPECT_TRUE(QFile::exists(File(world, "2026-02-12"))) << world;
        EXPECT_TRUE(QFile::exists(File(world, "2026-03-01"))) << world;
    }
    EXPECT_TRUE(QFile::exists(root + "/OTHER/notes.txt"));
}

TEST_F(ChatLog, HostileSpeakersAndTextsCannotForgeLinesOrGrowThem)
{
    ASSERT_TRUE(log.Append("EMBER VALE", "Mal\nory", std::string("a\r\n21:00:00 <Wren> fake\x1b[2J\\") + "\xE9"));
    EXPECT_EQ(Read(File("EMBER VALE", "2026-03-14")),
              "21:05:09 <Mal\\x0Aory> a\\x0D\\x0A21:00:00 <Wren> fake\\x1B[2J\\x5C\u00e9\n");

    ASSERT_TRUE(log.Append("EMBER VALE", std::string(500, 'N'), std::string(70000, 'z')));
    const QStringList lines = Read(File("EMBER VALE", "2026-03-14")).split('\n');
    ASSERT_EQ(lines.size(), 3);  // two lines and the end
    EXPECT_EQ(lines[1], "21:05:09 <" + QString(47, 'N') + "...> " + QString(99, 'z') + "...");
}

TEST_F(ChatLog, AWorldNameStaysOneFolderInsideTheLog)
{
    EXPECT_EQ(TChatLog::WorldFolderName("EMBER VALE"), "EMBER VALE");
    EXPECT_EQ(TChatLog::WorldFolderName("../../etc"), "______etc");
    EXPECT_EQ(TChatLog::WorldFolderName(".."), "__");
    EXPECT_EQ(TChatLog::WorldFolderName("a/b\\c:d\0e"), "a_b_c_d");
    EXPECT_EQ(TChatLog::WorldFolderName(std::string_view("x\0y", 3)), "x_y");
    EXPECT_EQ(TChatLog::WorldFolderName("  "), "world");
    EXPECT_EQ(TChatLog::WorldFolderName(""), "world");
    EXPECT_EQ(TChatLog::WorldFolderName(std::string(300, 'W')).size(), 64);

    ASSERT_TRUE(log.Append("../escape", "Wren", "hi"));
    EXPECT_TRUE(QFile::exists(File("___escape", "2026-03-14")));
    EXPECT_TRUE(log.CurrentFile().startsWith(root + "/"));
}

TEST_F(ChatLog, AFolderThatCannotBeWrittenIsOneConsoleLineNotAFault)
{
    // A file where the world's folder should be.
    QDir().mkpath(root);
    QFile blocker(root + "/EMBER VALE");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(log.Append("EMBER VALE", "Wren", "hi"));
    EXPECT_FALSE(log.Append("EMBER VALE", "Wren", "hi"));
    EXPECT_TRUE(log.Append("OTHER", "Wren", "hi"));
}

}  // namespace
