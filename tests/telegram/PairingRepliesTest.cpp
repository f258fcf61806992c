#include "telegram/PairingReplies.h"

#include <gtest/gtest.h>

namespace {

using PairingReplies::parseCreate;
using PairingReplies::parseStatus;

const QByteArray kHtmlErrorPage =
    "<!DOCTYPE html><html><head><title>502 Bad Gateway</title></head></html>";

TEST(PairingReplies, CreateTakesTheCodeStringAsSentAndFailsOnAnythingElse) {
    for (const QString code : {"AB12CD", " ab 1 ", "", "配對"}) {
        const QByteArray body = R"({"code":")" + code.toUtf8() + R"(","expires":600})";
        EXPECT_EQ(parseCreate(body), PairingReplies::CreateResult(code)) << body.constData();
    }
    for (const QByteArray &body :
         {QByteArray(), QByteArray("{}"), QByteArray(R"([{"code":"A"}])"),
          QByteArray(R"({"code":123456})"), QByteArray(R"({"code":null})"),
          QByteArray(R"({"Code":"A"})"), QByteArray(R"("A")"), QByteArray(R"({"code":"A")"),
          kHtmlErrorPage, QByteArray("\xff\xfe{")}) {
        EXPECT_EQ(parseCreate(body), PairingReplies::CreateResult(PairingError::pairing()))
            << body.constData();
    }
}

TEST(PairingReplies, StatusIsComparedExactlyAndAnythingUnreadableIsPending) {
    EXPECT_EQ(parseStatus(R"({"status":"paired","chat_id":"-100123"})"),
              PairingStatus::paired("-100123"));
    EXPECT_EQ(parseStatus(R"({"status":"paired","chat_id":123})"), PairingStatus::paired(""));
    EXPECT_EQ(parseStatus(R"({"status":"paired"})"), PairingStatus::paired(""));
    EXPECT_EQ(parseStatus(R"({"status":"expired"})"), PairingStatus::expired());
    EXPECT_EQ(parseStatus(R"({"status":"not_found","x":1})"), PairingStatus::notFound());
    for (const char *status : {"Paired", "paired ", "notFound", "not found", "pending", "Expired"})
        EXPECT_EQ(parseStatus(QByteArray(R"({"status":")") + status + R"("})"),
                  PairingStatus::pending())
            << status;
    for (const QByteArray &body :
         {QByteArray(), QByteArray(R"([{"status":"paired"}])"), QByteArray(R"({"status":1})"),
          QByteArray(R"({"state":"paired"})"), kHtmlErrorPage})
        EXPECT_EQ(parseStatus(body), PairingStatus::pending()) << body.constData();
}

} // namespace
