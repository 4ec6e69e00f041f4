// The chat log: every speech line the player saw and every chat line the player sent,
// one line each, in a plain-text file per world and day:
//   <folder>/<world>/<yyyy-MM-dd>.txt, lines "HH:mm:ss <speaker> text" (UTF-8).
// The folder is the user's data folder's "chat" (see ChatLogFolder). Each line is
// written and flushed at once, so a killed client loses nothing it had logged. A new
// day opens a new file; files of more than KeepDays days ago are removed then.
// Speakers and texts come from the network or the user: control characters are
// written as \xNN and both are cut, so a line can neither be forged nor grow long.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

class TChatLog {
public:
    static constexpr int KeepDays = 30;
    static constexpr size_t MaxSpeaker = 47;  // characters of a speaker kept
    static constexpr size_t MaxText = 99;     // characters of a line kept (what the game shows)

    explicit TChatLog(QString folder);

    // The local date and time of a line; tests set their own.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // Appends one line for `world` (the world's identity) and flushes it; an empty
    // text writes nothing. False, with one console line for the first failure, when
    // the file cannot be written.
    bool Append(std::string_view world, std::string_view speaker, std::string_view text);

    // The file the last line went to ("" before the first).
    QString CurrentFile() const { return path_; }

    // The world's folder name: letters, digits, blanks, '-' and '_' kept, anything
    // else as '_', no blank at either end, at most 64 characters; "world" if empty.
    static QString WorldFolderName(std::string_view world);
    // A text from the wire (Latin-1) as it is written: printable characters as UTF-8,
    // every other byte and '\' as \xNN, cut to `limit` characters with "..." after it.
    static std::string Clean(std::string_view text, size_t limit);

private:
    bool Open(const QString& world, QDate day);
    void Prune(QDate today);

    QString folder_;
    QFile file_;
    QString path_;
    QString world_;
    QDate day_;
    bool failed_ = false;
};

// The user's chat log folder: "chat" in the application's data folder
// (QStandardPaths::AppDataLocation, ~/.local/share/vxclient/chat on Linux).
QString ChatLogFolder();
