#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // The tests choose the client's keys themselves: no agent of the caller.
    qunsetenv("SSH_AUTH_SOCK");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
