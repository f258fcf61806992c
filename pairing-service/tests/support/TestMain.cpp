// Main of the pairing-service tests: a plain QCoreApplication (the service has no GUI), and
// QT_LOGGING_RULES left alone so a failing test shows the service's own log lines.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
