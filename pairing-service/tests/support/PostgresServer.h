#pragma once
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A throw-away PostgreSQL server from Debian's packages, listening only on a Unix socket in a
// private directory. Run as root (as CI does), it runs as the unprivileged user "nobody",
// since PostgreSQL refuses to run as root. The server is a child of the test process and gets
// SIGINT (fast shutdown) when that process ends, even by a crash, so no test run leaves a
// server behind.
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer();

    // Empty when the server runs; otherwise why it could not start.
    const QString &unavailableReason() const { return m_reason; }
    // A KORVELLA_PAIRING_DATABASE value for the test database.
    QString databaseUrl() const;
    bool stop();
    bool start();

private:
    // `program` of the server's binary directory, as nobody when run as root.
    QStringList wrapped(const QString &program, const QStringList &arguments) const;
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr);

    QTemporaryDir m_dir;
    QString m_binDir;
    QString m_reason;
    QProcess m_server;
    QStringList m_asNobody; // setpriv options switching to nobody; empty unless root
};
