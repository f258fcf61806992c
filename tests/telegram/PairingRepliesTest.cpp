#include "telegram/PairingReplies.h"

#include <gtest/gtest.h>

namespace {

using PairingReplies::parseCreate;
using PairingReplies::parseStatus;

const QByteArray kHtmlErrorPage =
    "<!DOCTYPE html><html><head><title>502 Bad Gateway</title></head></html>";

TEST(PairingReplies, CreateTakesTheCodeStringAsSent) {
    EXPECT_EQ(parseCreate(R"({"code":"AB12CD"})"), PairingReplies::CreateResult("AB12CD"));
    EXPECT_EQ(parseCreate(R"({"code":" ab 1 ","expires":600})"),
              PairingReplies::CreateResult(" ab 1 "));
    EXPECT_EQ(parseCreate(R"({"code":""})"), PairingReplies::CreateResult(""));
    EXPECT_EQ(parseCreate(R"({"code":"配對"})"), PairingReplies::CreateResult("配對"));
}

TEST(PairingReplies, CreateFailsWithThePairingErrorOnAnyUnusableBody) {
    for (const QByteArray &body :
         {QByteArray(), QByteArray("{}"), QByteArray("[]"), QByteArray(R"([{"code":"A"}])"),
          QByteArray(R"({"code":123456})"), QByteArray(R"({"code":null})"),
          QByteArray(R"({"code":{"v":"A"}})"), QByteArray(R"({"Code":"A"})"), QByteArray(R"("A")"),
          QByteArray("42"), QByteArray(R"({"code":"A")"), kHtmlErrorPage,
          QByteArray("\xff\xfe{")}) {
        const PairingReplies::CreateResult result = parseCreate(body);
        ASSERT_TRUE(std::holds_alternative<PairingError>(result)) << body.constData();
        const PairingError &error = std::get<PairingError>(result);
        EXPECT_EQ(error.domain, "Pairing");
        EXPECT_EQ(error.code, 0);
        EXPECT_TRUE(error.message.isEmpty());
        EXPECT_FALSE(error.isTransport());
    }
}

TEST(PairingReplies, StatusIsComparedExactly) {
    EXPECT_EQ(parseStatus(R"({"status":"paired","chat_id":"-100123"})"),
              PairingStatus::paired("-100123"));
    EXPECT_EQ(parseStatus(R"({"status":"paired","chat_id":123})"), PairingStatus::paired(""));
    EXPECT_EQ(parseStatus(R"({"status":"paired"})"), PairingStatus::paired(""));
    EXPECT_EQ(parseStatus(R"({"status":"paired","chat_id":null})"), PairingStatus::paired(""));
    EXPECT_EQ(parseStatus(R"({"status":"expired"})"), PairingStatus::expired());
    EXPECT_EQ(parseStatus(R"({"status":"not_found","x":1})"), PairingStatus::notFound());
    for (const char *status :
         {"Paired", "PAIRED", "paired ", "notFound", "not found", "pending", "Expired", ""}) {
        const QByteArray body = QByteArray(R"({"status":")") + status + R"(","chat_id":"1"})";
        EXPECT_EQ(parseStatus(body), PairingStatus::pending()) << body.constData();
    }
}

TEST(PairingReplies, UnreadableStatusRepliesArePending) {
    for (const QByteArray &body :
         {QByteArray(), QByteArray("{}"), QByteArray(R"([{"status":"paired"}])"),
          QByteArray(R"({"status":1})"), QByteArray(R"({"status":null})"),
          QByteArray(R"({"state":"paired"})"), QByteArray("not json"), kHtmlErrorPage}) {
        EXPECT_EQ(parseStatus(body), PairingStatus::pending()) << body.constData();
    }
}

} // namespace
