#include "telegram/FormEncoding.h"
#include "telegram/ServiceUrls.h"

#include <gtest/gtest.h>

namespace {

TEST(FormEncoding, KeepsTheQuerySetAndEscapesEverythingElse) {
    EXPECT_EQ(FormEncoding::body({{"chat_id", "-100123"}, {"text", "abc 1"}}),
              "chat_id=-100123&text=abc%201");
    EXPECT_EQ(FormEncoding::encodeValue("-1001234567890"), "-1001234567890");
    EXPECT_EQ(FormEncoding::encodeValue("aZ09-._~!$'()*,;:@/?"), "aZ09-._~!$'()*,;:@/?");
    EXPECT_EQ(FormEncoding::encodeValue("[Korvella] 狀態"), "%5BKorvella%5D%20%E7%8B%80%E6%85%8B");
    EXPECT_EQ(FormEncoding::encodeValue("#%\"<>\\^`{|}\n"), "%23%25%22%3C%3E%5C%5E%60%7B%7C%7D%0A");
    EXPECT_EQ(FormEncoding::encodeValue("a&b=c+d"), "a%26b%3Dc%2Bd") << "cannot split a field";
    EXPECT_EQ(FormEncoding::encodeValue(QString()), "");
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
