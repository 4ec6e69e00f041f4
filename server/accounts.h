// Player accounts and their saved places, kept in an SQLite database.
//
// Passwords are never stored: each account keeps a random 16-byte salt and the
// PBKDF2-HMAC-SHA256 of the password under that salt, written as the text
// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", so the work factor can be
// raised later without breaking old accounts.
//
// The database runs in WAL mode: an account is committed the moment it is created,
// and positions are written in batches every few seconds, so a crash loses at most
// those seconds of walking and never an account.
#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace server {

// PBKDF2 with HMAC-SHA256 as the pseudo-random function; `length` bytes of key.
QByteArray Pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int length);

inline constexpr int PasswordIterations = 20000;

// The stored form of a password under a fresh random salt.
QString HashPassword(const QByteArray& password, int iterations = PasswordIterations);
// Whether the password matches a stored form; a malformed form matches nothing.
bool VerifyPassword(const QByteArray& password, const QString& stored);

struct TAccount {
    int64_t Id = 0;
    QString Name;
    uint16_t Shape = 0;
    bool HasPosition = false;  // false until the first save of a new player
    uint16_t X = 0, Y = 0;
    uint8_t Lift = 0;
    uint8_t Facing = 8;
};

struct TSavedPlace {
    int64_t Id;
    uint16_t Shape;
    uint16_t X, Y;
    uint8_t Lift, Facing;
};

// Main thread only. Every failure of the database raises std::runtime_error with
// the driver's message.
class TAccountStore {
public:
    // Opens (creating when needed) the database file; `connectionName` keeps several
    // stores in one process apart.
    TAccountStore(const QString& path, const QString& connectionName);
    ~TAccountStore();
    TAccountStore(const TAccountStore&) = delete;
    TAccountStore& operator=(const TAccountStore&) = delete;

    enum class ELogin { Accepted, Created, BadPassword };
    // The first login of a name creates its account with that password; later logins
    // must match. Names compare without regard to letter case.
    ELogin Login(const QString& name, const QByteArray& password, TAccount& account);

    // Writes the places in one transaction.
    void SavePlaces(const std::vector<TSavedPlace>& places);
    // Writes everything to the main database file (at shutdown).
    void Checkpoint();

    const QString& Path() const { return path_; }

private:
    std::optional<TAccount> Find(const QString& name);
    void Exec(const QString& sql);

    QString path_;
    QString connection_;
    QSqlDatabase db_;
};

}  // namespace server
