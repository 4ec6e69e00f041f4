// A PostgreSQL server of a test's own, from the system's packages: initdb into a
// temporary folder, pg_ctl start on a free port of 127.0.0.1 (its socket in that
// folder), stopped with everything in it when the object goes. PostgreSQL refuses to
// run as root, so under root the server runs as the system user "postgres".
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>

namespace servertest {

class TPostgresCluster {
public:
    static constexpr const char* User = "vxtest";
    static constexpr const char* Password = "Secret-pw 7;x";  // URL-encoded in Url()

    TPostgresCluster() = default;
    ~TPostgresCluster();
    TPostgresCluster(const TPostgresCluster&) = delete;
    TPostgresCluster& operator=(const TPostgresCluster&) = delete;

    // Creates and starts the cluster; false with `error` saying what is missing or
    // what failed (with the server's log).
    bool Start(std::string& error);
    bool Running() const { return running_; }
    uint16_t Port() const { return port_; }

    // Creates a fresh database; false with `error` on failure.
    bool CreateDatabase(const QString& name, std::string& error);
    // The URL of a database of this cluster, with the user's password.
    QString Url(const QString& database) const;

    // The one cluster of a test program, started on first use (nullptr with `error`
    // when it cannot start; the next call tries no more).
    static TPostgresCluster* Shared(std::string& error);
    // Stops that cluster (before the program's QCoreApplication goes).
    static void StopShared();

private:
    bool RunTool(const QString& tool, const QStringList& arguments, std::string& output, int timeoutMs = 120000);

    std::unique_ptr<QTemporaryDir> folder_;
    QString bin_;
    QString data_;
    uint16_t port_ = 0;
    bool running_ = false;
    bool asPostgresUser_ = false;
};

}  // namespace servertest
