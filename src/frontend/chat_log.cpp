// The chat log's files: one per world and day, flushed per line, pruned by age.
#include "frontend/chat_log.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <utility>

#include "platform/console.h"

TChatLog::TChatLog(QString folder) : folder_(std::move(folder)) {}

QString ChatLogFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath("chat");
}

QString TChatLog::WorldFolderName(std::string_view world)
{
    QString name;
    for (const char ch : world) {
        if (name.size() == 64)
            break;
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
                          c == '-' || c == '_';
        name.append(keep ? QChar(c) : QChar('_'));
    }
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("world") : name;
}

std::string TChatLog::Clean(std::string_view text, size_t limit)
{
    return platform::PrintableText(text, limit);
}

bool TChatLog::Open(const QString& world, QDate day)
{
    file_.close();
    world_ = world;
    day_ = day;
    const QString dir = QDir(folder_).filePath(world);
    path_ = QDir(dir).filePath(day.toString("yyyy-MM-dd") + ".txt");
    Prune(day);
    if (!QDir().mkpath(dir))
        return false;
    file_.setFileName(path_);
    return file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void TChatLog::Prune(QDate today)
{
    static const QRegularExpression dayFile("^(\\d{4})-(\\d{2})-(\\d{2})\\.txt$");
    const QDir root(folder_);
    for (const QString& world : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDir dir(root.filePath(world));
        for (const QString& name : dir.entryList(QDir::Files)) {
            const auto m = dayFile.match(name);
            if (!m.hasMatch())
                continue;  // not ours
            const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
            if (date.isValid() && date.daysTo(today) > KeepDays)
                dir.remove(name);
        }
    }
}

bool TChatLog::Append(std::string_view world, std::string_view speaker, std::string_view text)
{
    if (text.empty())
        return true;  // nothing was said
    const QDateTime now = Now();
    const QString folder = WorldFolderName(world);
    if ((!file_.isOpen() || folder != world_ || now.date() != day_) && !Open(folder, now.date())) {
        if (!std::exchange(failed_, true))
            platform::ConsoleLine("Chat log: cannot write " + path_.toStdString() + ": " +
                                  file_.errorString().toStdString());
        return false;
    }
    std::string line = now.toString("HH:mm:ss").toStdString();
    line += " <";
    line += Clean(speaker, MaxSpeaker);
    line += "> ";
    line += Clean(text, MaxText);
    line += '\n';
    // One write of the whole line, then out of the process at once.
    const bool written = file_.write(line.data(), qint64(line.size())) == qint64(line.size()) && file_.flush();
    if (!written && !std::exchange(failed_, true))
        platform::ConsoleLine("Chat log: cannot write " + path_.toStdString() + ": " +
                              file_.errorString().toStdString());
    return written;
}
