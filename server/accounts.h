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

// The slow half of a login, which touches no database and may run on any thread:
// checking a password against its stored form, or hashing a new account's password.
struct TPasswordCheck {
    enum class EResult { Matches, Mismatch, Hashed };
    bool NewAccount = false;
    QString Stored;                       // an existing account's stored form
    int Iterations = PasswordIterations;  // for a new account's hash

    // Matches or Mismatch for an existing account; Hashed (with `hashed` set) for a new one.
    EResult Run(const QByteArray& password, QString& hashed) const;
};

// One thread only (the server's main thread). Every failure of the database raises
// std::runtime_error with the driver's message.
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
    // must match. Names compare without regard to letter case. Hashes on the calling
    // thread; the server splits the same steps around a worker instead (Find, then
    // TPasswordCheck elsewhere, then Create for a new name).
    ELogin Login(const QString& name, const QByteArray& password, TAccount& account);

    // The account of a name and its stored password form, or nothing.
    std::optional<TAccount> Find(const QString& name, QString* storedPassword = nullptr);
    // Creates the account of a name with an already hashed password.
    TAccount Create(const QString& name, const QString& hashedPassword);

    // Writes the places in one transaction.
    void SavePlaces(const std::vector<TSavedPlace>& places);
    // Writes everything to the main database file (at shutdown).
    void Checkpoint();

    const QString& Path() const { return path_; }

private:
    void Exec(const QString& sql);

    QString path_;
    QString connection_;
    QSqlDatabase db_;
};

}  // namespace server
