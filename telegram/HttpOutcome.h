#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>

// How one HTTP exchange ended.
struct HttpOutcome {
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorString; // may name the URL: never log it for a request that carries a token
    int httpStatus = 0;  // 0 when no HTTP response arrived
    QByteArray body;     // empty unless the body was kept and fitted the limit
    bool bodyTooLarge = false;

    // The transfer itself failed. Not when a complete HTTP reply said 4xx or 5xx (Qt reports
    // those as errors too, but the reply arrived), nor when we stopped an oversized body.
    bool transportFailed() const {
        if (error == QNetworkReply::NoError || bodyTooLarge)
            return false;
        const bool httpStatusError = (error >= QNetworkReply::ContentAccessDenied &&
                                      error <= QNetworkReply::UnknownContentError) ||
                                     (error >= QNetworkReply::InternalServerError &&
                                      error <= QNetworkReply::UnknownServerError);
        return !(httpStatus != 0 && httpStatusError);
    }
};
