// Player accounts and their saved places, kept in an SQLite database.
//
// Passwords are never stored: each account keeps the Argon2id hash of its password
// (libsodium's crypto_pwhash_str form, "$argon2id$v=19$m=...,t=...,p=1$<salt>$<hash>",
// which carries its own salt and cost). Accounts made before Argon2id keep the older
// form "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>" until their next successful
// login, which stores the Argon2id hash instead.
//
// A password is compared as the exact bytes the client sent. Passwords longer than
// MaxPasswordLength bytes or holding a zero byte are refused before any hashing:
// HMAC, under the older form, pads a short key with zero bytes and hashes a key
// longer than 64 bytes, so without this rule such passwords would match others.
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
// Only to check passwords stored in the older form.
QByteArray Pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int length);

inline constexpr int MaxPasswordLength = 64;

// Argon2id cost: passes over the memory, and the memory in bytes. The default takes
// a few tens of milliseconds per check on one core of a small server.
struct TPasswordCost {
    unsigned long long Passes = 2;
    size_t Memory = size_t(8) << 20;
};
// The cheapest cost libsodium allows; for tests.
inline constexpr TPasswordCost CheapPasswordCost{1, 8192};

// Whether the server considers a password at all: at most MaxPasswordLength bytes,
// no zero byte.
bool AcceptablePassword(const QByteArray& password);

// The stored Argon2id form of a password under a fresh random salt.
QString HashPassword(const QByteArray& password, const TPasswordCost& cost = {});
// Whether the password matches a stored form (Argon2id or the older PBKDF2 form); a
// malformed form, or a password that is not acceptable, matches nothing.
bool VerifyPassword(const QByteArray& password, const QString& stored);
// Whether a stored form should be replaced at the next successful login: the older
// form, or Argon2id under another cost.
bool NeedsRehash(const QString& stored, const TPasswordCost& cost = {});

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
    QString Stored;      // an existing account's stored form
    TPasswordCost Cost;  // for a new hash

    // Matches or Mismatch for an existing account; Hashed (with `hashed` set) for a
    // new one. A match of a stored form that needs rehashing sets `hashed` to the
    // new form, to be stored; otherwise `hashed` is left empty.
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
    // Replaces the stored password form of an account (a rehash at login).
    void SetPassword(int64_t id, const QString& hashedPassword);

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
