// Test entry point: a QCoreApplication exists for every test, so objects
// that post queued calls or run timers on the main thread behave as in the
// server.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
