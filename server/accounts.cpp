// Player accounts: salted password hashes and saved places in SQLite.
#include "accounts.h"

#include <QMessageAuthenticationCode>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <sodium.h>

#include <mutex>
#include <stdexcept>

namespace server {
namespace {

constexpr char LegacyScheme[] = "pbkdf2-sha256";
constexpr char Argon2Prefix[] = "$argon2id$";

void InitSodium()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (sodium_init() < 0)
            throw std::runtime_error("libsodium cannot be initialised");
    });
}

bool VerifyLegacy(const QByteArray& password, const QString& stored);

[[noreturn]] void Fail(const QString& what, const QSqlError& error)
{
    throw std::runtime_error((what + ": " + error.text()).toStdString());
}

// Compares without stopping at the first difference, so the time taken tells an
// attacker nothing about how much of a guess was right.
bool SameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

QByteArray Pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int length)
{
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, password);
    QByteArray key;
    for (quint32 block = 1; key.size() < length; ++block) {
        QByteArray u = salt;
        u.append(char(block >> 24)).append(char(block >> 16)).append(char(block >> 8)).append(char(block));
        mac.reset();
        mac.addData(u);
        u = mac.result();
        QByteArray t = u;
        for (int i = 1; i < iterations; ++i) {
            mac.reset();
            mac.addData(u);
            u = mac.result();
            for (qsizetype j = 0; j < t.size(); ++j)
                t[j] = char(t[j] ^ u[j]);
        }
        key.append(t);
    }
    return key.left(length);
}

bool AcceptablePassword(const QByteArray& password)
{
    return password.size() <= MaxPasswordLength && !password.contains('\0');
}

QString HashPassword(const QByteArray& password, const TPasswordCost& cost)
{
    InitSodium();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.constData(), static_cast<unsigned long long>(password.size()),
                              cost.Passes, cost.Memory, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("password hashing ran out of memory");
    return QString::fromLatin1(out);
}

bool VerifyPassword(const QByteArray& password, const QString& stored)
{
    if (!AcceptablePassword(password))
        return false;
    if (!stored.startsWith(QLatin1String(Argon2Prefix)))
        return VerifyLegacy(password, stored);
    InitSodium();
    const QByteArray form = stored.toLatin1();
    if (form.size() >= crypto_pwhash_STRBYTES)
        return false;
    return crypto_pwhash_str_verify(form.constData(), password.constData(),
                                    static_cast<unsigned long long>(password.size())) == 0;
}

bool NeedsRehash(const QString& stored, const TPasswordCost& cost)
{
    if (!stored.startsWith(QLatin1String(Argon2Prefix)))
        return true;
    InitSodium();
    const QByteArray form = stored.toLatin1();
    return form.size() >= crypto_pwhash_STRBYTES ||
           crypto_pwhash_str_needs_rehash(form.constData(), cost.Passes, cost.Memory) != 0;
}

namespace {

bool VerifyLegacy(const QByteArray& password, const QString& stored)
{
    const QStringList parts = stored.split(QLatin1Char('$'));
    if (parts.size() != 4 || parts[0] != QLatin1String(LegacyScheme))
        return false;
    bool ok = false;
    const int iterations = parts[1].toInt(&ok);
    if (!ok || iterations < 1 || iterations > 10'000'000)
        return false;
    const QByteArray salt = QByteArray::fromHex(parts[2].toLatin1());
    const QByteArray hash = QByteArray::fromHex(parts[3].toLatin1());
    if (salt.isEmpty() || hash.isEmpty())
        return false;
    return SameBytes(Pbkdf2Sha256(password, salt, iterations, int(hash.size())), hash);
}

}  // namespace

TPasswordCheck::EResult TPasswordCheck::Run(const QByteArray& password, QString& hashed) const
{
    hashed.clear();
    if (NewAccount) {
        hashed = HashPassword(password, Cost);
        return EResult::Hashed;
    }
    if (!VerifyPassword(password, Stored))
        return EResult::Mismatch;
    if (NeedsRehash(Stored, Cost))
        hashed = HashPassword(password, Cost);
    return EResult::Matches;
}

TAccountStore::TAccountStore(const QString& path, const QString& connectionName)
    : path_(path), connection_(connectionName)
{
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path_);
    if (!db_.open())
        Fail(QStringLiteral("cannot open the database ") + path_, db_.lastError());
    Exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    Exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    Exec(QStringLiteral("PRAGMA busy_timeout=2000"));
    Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS accounts ("
                        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                        " name TEXT NOT NULL UNIQUE COLLATE NOCASE,"
                        " password TEXT NOT NULL,"
                        " shape INTEGER NOT NULL DEFAULT 0,"
                        " x INTEGER, y INTEGER,"
                        " lift INTEGER NOT NULL DEFAULT 0,"
                        " facing INTEGER NOT NULL DEFAULT 8,"
                        " created TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP)"));
}

TAccountStore::~TAccountStore()
{
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

void TAccountStore::Exec(const QString& sql)
{
    QSqlQuery query(db_);
    if (!query.exec(sql))
        Fail(sql, query.lastError());
}

std::optional<TAccount> TAccountStore::Find(const QString& name, QString* storedPassword)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT id, name, shape, x, y, lift, facing, password FROM accounts WHERE name = ?"));
    query.addBindValue(name);
    if (!query.exec())
        Fail(QStringLiteral("account lookup"), query.lastError());
    if (!query.next())
        return std::nullopt;
    TAccount account;
    account.Id = query.value(0).toLongLong();
    account.Name = query.value(1).toString();
    account.Shape = uint16_t(query.value(2).toUInt());
    account.HasPosition = !query.value(3).isNull() && !query.value(4).isNull();
    account.X = uint16_t(query.value(3).toUInt());
    account.Y = uint16_t(query.value(4).toUInt());
    account.Lift = uint8_t(query.value(5).toUInt());
    account.Facing = uint8_t(query.value(6).toUInt());
    if (storedPassword)
        *storedPassword = query.value(7).toString();
    return account;
}

TAccount TAccountStore::Create(const QString& name, const QString& hashedPassword)
{
    QSqlQuery insert(db_);
    insert.prepare(QStringLiteral("INSERT INTO accounts (name, password) VALUES (?, ?)"));
    insert.addBindValue(name);
    insert.addBindValue(hashedPassword);
    if (!insert.exec())
        Fail(QStringLiteral("account creation"), insert.lastError());
    TAccount account;
    account.Id = insert.lastInsertId().toLongLong();
    account.Name = name;
    return account;
}

void TAccountStore::SetPassword(int64_t id, const QString& hashedPassword)
{
    QSqlQuery update(db_);
    update.prepare(QStringLiteral("UPDATE accounts SET password = ? WHERE id = ?"));
    update.addBindValue(hashedPassword);
    update.addBindValue(QVariant::fromValue<qlonglong>(id));
    if (!update.exec())
        Fail(QStringLiteral("password update"), update.lastError());
}

TAccountStore::ELogin TAccountStore::Login(const QString& name, const QByteArray& password, TAccount& account)
{
    TPasswordCheck check;
    const std::optional<TAccount> found = Find(name, &check.Stored);
    check.NewAccount = !found;
    QString hashed;
    switch (check.Run(password, hashed)) {
    case TPasswordCheck::EResult::Mismatch:
        return ELogin::BadPassword;
    case TPasswordCheck::EResult::Matches:
        account = *found;
        if (!hashed.isEmpty())
            SetPassword(account.Id, hashed);
        return ELogin::Accepted;
    case TPasswordCheck::EResult::Hashed:
        break;
    }
    account = Create(name, hashed);
    return ELogin::Created;
}

void TAccountStore::SavePlaces(const std::vector<TSavedPlace>& places)
{
    if (places.empty())
        return;
    if (!db_.transaction())
        Fail(QStringLiteral("begin"), db_.lastError());
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("UPDATE accounts SET shape = ?, x = ?, y = ?, lift = ?, facing = ? WHERE id = ?"));
    for (const TSavedPlace& place : places) {
        query.addBindValue(place.Shape);
        query.addBindValue(place.X);
        query.addBindValue(place.Y);
        query.addBindValue(place.Lift);
        query.addBindValue(place.Facing);
        query.addBindValue(QVariant::fromValue<qlonglong>(place.Id));
        if (!query.exec()) {
            const QSqlError error = query.lastError();
            db_.rollback();
            Fail(QStringLiteral("saving places"), error);
        }
    }
    if (!db_.commit())
        Fail(QStringLiteral("commit"), db_.lastError());
}

void TAccountStore::Checkpoint()
{
    Exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

}  // namespace server
