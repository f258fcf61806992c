#include "PostgresServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

PostgresServer::PostgresServer()
    : m_dir(QDir::tempPath() + QStringLiteral("/korvella-pg-XXXXXX")) {
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    for (const QString &version :
         versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed)) {
        if (QFile::exists(versions.filePath(version + "/bin/postgres"))) {
            m_binDir = versions.filePath(version + "/bin");
            break;
        }
    }
    if (m_binDir.isEmpty())
        m_reason = "PostgreSQL server programs not found under /usr/lib/postgresql "
                   "(Debian package postgresql)";
    else if (!m_dir.isValid())
        m_reason = "no temporary directory";
    if (!m_reason.isEmpty())
        return;
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(QFile::encodeName(m_dir.path()).constData(), nobody->pw_uid,
                               nobody->pw_gid) != 0) {
            m_reason = "running as root and cannot hand a directory to nobody";
            return;
        }
        m_asNobody = {QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                      QStringLiteral("--regid=%1").arg(nobody->pw_gid), "--clear-groups"};
    }
    QString output;
    if (!run("initdb",
             {"-D", m_dir.filePath("data"), "-U", "korvella", "--auth=trust", "-E", "UTF8",
              "--no-sync", "--no-instructions"},
             &output))
        m_reason = "initdb failed: " + output;
    else if (!start())
        m_reason = "the server did not start: " + QString::fromLocal8Bit(m_server.readAll());
    else if (!run("createdb", {"-h", m_dir.path(), "-U", "korvella", "pairing"}, &output))
        m_reason = "createdb failed: " + output;
}

PostgresServer::~PostgresServer() {
    stop();
}

QString PostgresServer::databaseUrl() const {
    return QStringLiteral("postgresql:///pairing?host=%1&user=korvella").arg(m_dir.path());
}

QStringList PostgresServer::wrapped(const QString &program, const QStringList &arguments) const {
    // setpriv sets the parent-death signal after switching users, which would clear it.
    return m_asNobody + QStringList{"--pdeathsig=INT", "--", m_binDir + '/' + program} + arguments;
}

bool PostgresServer::start() {
    // No TCP at all; -F: no fsync, a test database need not survive a power cut.
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setWorkingDirectory(m_dir.path());
    m_server.start("setpriv", wrapped("postgres", {"-D", m_dir.filePath("data"), "-k", m_dir.path(),
                                                   "-c", "listen_addresses=", "-F"}));
    QElapsedTimer waited;
    waited.start();
    while (m_server.state() != QProcess::NotRunning && waited.elapsed() < 30000) {
        if (run("pg_isready", {"-q", "-h", m_dir.path()}))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool PostgresServer::stop() {
    if (m_server.state() == QProcess::NotRunning)
        return true;
    ::kill(pid_t(m_server.processId()),
           SIGINT); // fast shutdown: ends open sessions
    return m_server.waitForFinished(30000);
}

bool PostgresServer::run(const QString &program, const QStringList &arguments, QString *output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path());
    process.start("setpriv", wrapped(program, arguments));
    const bool finished = process.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
