#include "HeldPolls.h"

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>

#include <cstdio>

void HeldPolls::connectOne(int i) {
    auto *socket = new QTcpSocket(this);
    const QByteArray request =
        "GET /api/commands HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " +
        m_tokens.at(i).toLatin1() + "\r\nX-Forwarded-For: 172.16." +
        QByteArray::number(i >> 8 & 255) + '.' + QByteArray::number(i & 255) + "\r\n\r\n";
    connect(socket, &QTcpSocket::connected, this, [this, socket, request] {
        socket->write(request);
        ++m_sent;
        open();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
        const QByteArray answer = socket->readAll();
        if (!answer.startsWith("HTTP/1.1 200") && ++m_failures <= 5)
            std::fprintf(stderr, "held poll: %s\n", answer.left(80).constData());
        ++m_answers;
        socket->write(request);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this] {
        if (++m_failures <= 5)
            std::fprintf(stderr, "held poll: connection failed\n");
    });
    socket->connectToHost(QHostAddress::LocalHost, m_port);
}

QStringList HeldPolls::registerDevices(const QString &databasePath, int count) {
    QStringList tokens;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "devices");
        db.setDatabaseName(databasePath);
        if (!db.open())
            return {};
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("INSERT INTO devices (token_hash, chat_id, created_at)"
                                      " VALUES (?, ?, 0)"));
        for (int i = 0; i < count; ++i) {
            const QString token = QStringLiteral("load-device-%1").arg(i);
            insert.addBindValue(QString::fromLatin1(
                QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex()));
            insert.addBindValue(QString::number(2000000 + i));
            if (!insert.exec())
                return {};
            tokens.append(token);
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("devices"));
    return tokens;
}
