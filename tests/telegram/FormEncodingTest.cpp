#include "telegram/FormEncoding.h"
#include "telegram/ServiceUrls.h"

#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

// What a form parser on the receiving side makes of a body.
QString receivedField(const QByteArray &body, const QString &name) {
    return QUrlQuery(QString::fromLatin1(body)).queryItemValue(name, QUrl::FullyDecoded);
}

TEST(FormEncoding, KeepsTheQuerySetAndEscapesEverythingElse) {
    EXPECT_EQ(FormEncoding::body({{"chat_id", "-100123"}, {"text", "abc 1"}}),
              "chat_id=-100123&text=abc%201");
    EXPECT_EQ(FormEncoding::encodeValue("-1001234567890"), "-1001234567890");
    EXPECT_EQ(FormEncoding::encodeValue("aZ09-._~!$'()*,;:@/?"), "aZ09-._~!$'()*,;:@/?");
    EXPECT_EQ(FormEncoding::encodeValue("[Korvella] 狀態"), "%5BKorvella%5D%20%E7%8B%80%E6%85%8B");
    EXPECT_EQ(FormEncoding::encodeValue("#%\"<>\\^`{|}\n"), "%23%25%22%3C%3E%5C%5E%60%7B%7C%7D%0A");
    EXPECT_EQ(FormEncoding::encodeValue(QString()), "");
}

TEST(FormEncoding, AmpersandEqualsAndPlusCannotSplitOrAlterAField) {
    EXPECT_EQ(FormEncoding::encodeValue("a&b=c+d"), "a%26b%3Dc%2Bd");
    const QByteArray body =
        FormEncoding::body({{"chat_id", "123&text=x"}, {"text", "1+1=2 & 😴 睡著了"}});
    const QUrlQuery parsed{QString::fromLatin1(body)};
    EXPECT_EQ(parsed.queryItems().size(), 2) << body.constData();
    EXPECT_EQ(receivedField(body, "chat_id"), "123&text=x");
    EXPECT_EQ(receivedField(body, "text"), "1+1=2 & 😴 睡著了");
}

TEST(ServiceUrls, SendMessagePathKeepsARealTokenAndContainsAHostileOne) {
    const QString base = "https://api.example.org";
    EXPECT_EQ(ServiceUrls::sendMessage(base, "1234567890:AAbb-cc_DD")->toString(),
              "https://api.example.org/bot1234567890:AAbb-cc_DD/sendMessage");
    const std::optional<QUrl> hostile = ServiceUrls::sendMessage(base, "1:a/../x?y=1#z%41 b");
    ASSERT_TRUE(hostile);
    EXPECT_EQ(hostile->toEncoded(), "https://api.example.org/bot1:a%2F..%2Fx%3Fy=1%23z%2541%20b/"
                                    "sendMessage");
    EXPECT_FALSE(hostile->hasQuery());
    EXPECT_FALSE(hostile->hasFragment());
}

TEST(ServiceUrls, PairingStatusCodeIsOneQueryValue) {
    const QString base = "https://pair.example.org/api";
    EXPECT_EQ(ServiceUrls::pairingStatus(base, "AB12cd")->toString(),
              "https://pair.example.org/api/pairing_status.php?code=AB12cd");
    EXPECT_EQ(ServiceUrls::createPairing(base)->toString(),
              "https://pair.example.org/api/create_pairing.php");
    const std::optional<QUrl> odd = ServiceUrls::pairingStatus(base, "a&b=c#d e+f/ü");
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->hasFragment());
    const QUrlQuery query(*odd);
    EXPECT_EQ(query.queryItems().size(), 1);
    EXPECT_EQ(query.queryItemValue("code", QUrl::FullyDecoded), "a&b=c#d e+f/ü");
}

TEST(ServiceUrls, OnlyHttpsOrLoopbackHttpBasesAreUsed) {
    EXPECT_TRUE(ServiceUrls::createPairing("http://127.0.0.1:8080/api"));
    EXPECT_TRUE(ServiceUrls::createPairing("http://localhost/api"));
    for (const QString base :
         {"http://pair.example.org/api", "ftp://pair.example.org/api", "https://", "not a url", "",
          "https://pair.example.org/api?x=1", "https://user:pw@pair.example.org/api"}) {
        EXPECT_FALSE(ServiceUrls::createPairing(base)) << base.toStdString();
        EXPECT_FALSE(ServiceUrls::pairingStatus(base, "AB12")) << base.toStdString();
        EXPECT_FALSE(ServiceUrls::sendMessage(base, "1:a")) << base.toStdString();
    }
}

} // namespace
