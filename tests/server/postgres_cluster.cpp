// A PostgreSQL cluster of a test's own on 127.0.0.1.
#include "postgres_cluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>

namespace servertest {
namespace {

// The newest server binaries of Debian's layout (/usr/lib/postgresql/N/bin), or the
// folder of an initdb on the PATH; empty when there is none.
QString FindBinaries()
{
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : versions) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/") + version + QStringLiteral("/bin/");
        if (QFile::exists(bin + QStringLiteral("initdb")) && QFile::exists(bin + QStringLiteral("pg_ctl")))
            return bin;
    }
    for (const QString& dir : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QFile::exists(dir + QStringLiteral("/initdb")) && QFile::exists(dir + QStringLiteral("/pg_ctl")))
            return dir + QLatin1Char('/');
    return {};
}

// runuser, also when the PATH leaves out the system folders.
QString RunUser()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("runuser"));
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(QStringLiteral("runuser"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin")});
}

uint16_t FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

}  // namespace

TPostgresCluster::~TPostgresCluster()
{
    if (running_) {
        std::string output;
        RunTool(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data_, QStringLiteral("-m"), QStringLiteral("immediate"),
                                           QStringLiteral("-w"), QStringLiteral("stop")},
                output, 30000);
    }
}

bool TPostgresCluster::RunTool(const QString& tool, const QStringList& arguments, std::string& output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (asPostgresUser_)
        process.start(RunUser(),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), bin_ + tool} +
                          arguments);
    else
        process.start(bin_ + tool, arguments);
    if (!process.waitForStarted(10000)) {
        output = (tool + QStringLiteral(" did not start: ") + process.errorString()).toStdString();
        return false;
    }
    const bool finished = process.waitForFinished(timeoutMs);
    output = QString::fromLocal8Bit(process.readAll()).toStdString();
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
        output += "\n(" + tool.toStdString() + " did not finish in time)";
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool TPostgresCluster::Start(std::string& error)
{
    bin_ = FindBinaries();
    if (bin_.isEmpty()) {
        error = "PostgreSQL's server programs (initdb, pg_ctl) were not found: install the Debian package "
                "postgresql (scripts/install-deps.sh does)";
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        error = "Qt SQL has no PostgreSQL driver: install the Debian package libqt6sql6-psql "
                "(scripts/install-deps.sh does)";
        return false;
    }
    folder_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vxpg-XXXXXX"));
    if (!folder_->isValid()) {
        error = "no temporary folder for the cluster";
        return false;
    }
    data_ = folder_->filePath(QStringLiteral("data"));
    const QString passwordFile = folder_->filePath(QStringLiteral("password"));
    {
        QFile file(passwordFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(Password) < 0) {
            error = "cannot write the password file";
            return false;
        }
    }
    asPostgresUser_ = geteuid() == 0;
    if (asPostgresUser_) {
        const passwd* user = getpwnam("postgres");
        if (RunUser().isEmpty()) {
            error = "running as root, and runuser (util-linux) is missing to run PostgreSQL as the user postgres";
            return false;
        }
        if (!user) {
            error = "running as root, and there is no user \"postgres\" to run PostgreSQL as (the postgresql "
                    "package makes it)";
            return false;
        }
        const QByteArray folder = QFile::encodeName(folder_->path());
        const QByteArray password = QFile::encodeName(passwordFile);
        if (chown(folder.constData(), user->pw_uid, user->pw_gid) != 0 ||
            chown(password.constData(), user->pw_uid, user->pw_gid) != 0) {
            error = "cannot hand the temporary folder to the user postgres";
            return false;
        }
    }
    std::string output;
    if (!RunTool(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), data_, QStringLiteral("-U"), QString::fromLatin1(User),
                  QStringLiteral("--pwfile=") + passwordFile, QStringLiteral("--auth-local=trust"),
                  QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                  QStringLiteral("--locale=C"), QStringLiteral("-N")},
                 output)) {
        error = "initdb failed:\n" + output;
        return false;
    }
    // A free port may be taken by someone else before the server binds it: a few tries.
    for (int attempt = 0; attempt < 5 && !running_; ++attempt) {
        port_ = FreePort();
        const QString options = QStringLiteral("-p %1 -c listen_addresses=127.0.0.1 -c unix_socket_directories=%2 "
                                               "-c fsync=off -c synchronous_commit=off -c full_page_writes=off")
                                    .arg(port_)
                                    .arg(folder_->path());
        running_ = RunTool(QStringLiteral("pg_ctl"),
                           {QStringLiteral("-D"), data_, QStringLiteral("-l"), folder_->filePath(QStringLiteral("log")),
                            QStringLiteral("-o"), options, QStringLiteral("-w"), QStringLiteral("-t"),
                            QStringLiteral("60"), QStringLiteral("start")},
                           output);
    }
    if (!running_) {
        QFile log(folder_->filePath(QStringLiteral("log")));
        log.open(QIODevice::ReadOnly);
        error = "pg_ctl could not start the server:\n" + output + "\n" + log.readAll().toStdString();
        return false;
    }
    return true;
}

bool TPostgresCluster::CreateDatabase(const QString& name, std::string& error)
{
    const QString connection = QStringLiteral("vxpg-admin-") + name;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(port_);
        db.setUserName(QString::fromLatin1(User));
        db.setPassword(QString::fromLatin1(Password));
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open()) {
            error = "cannot connect to the test cluster: " + db.lastError().text().toStdString();
        } else {
            QSqlQuery query(db);
            ok = query.exec(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
            if (!ok)
                error = "CREATE DATABASE failed: " + query.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

QString TPostgresCluster::Url(const QString& database) const
{
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setUserName(QString::fromLatin1(User));
    url.setPassword(QString::fromLatin1(Password));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port_);
    url.setPath(QLatin1Char('/') + database);
    return url.toString(QUrl::FullyEncoded);
}

namespace {
std::unique_ptr<TPostgresCluster> cluster;
bool tried = false;
std::string failure;
}  // namespace

void TPostgresCluster::StopShared() { cluster.reset(); }

TPostgresCluster* TPostgresCluster::Shared(std::string& error)
{
    if (!tried) {
        tried = true;
        cluster = std::make_unique<TPostgresCluster>();
        if (!cluster->Start(failure))
            cluster.reset();
    }
    error = failure;
    return cluster.get();
}

}  // namespace servertest
