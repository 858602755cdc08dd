#include <QCoreApplication>
#include <gtest/gtest.h>

// Every test binary runs with a Qt application object on the main thread, so timers, queued
// signals and network replies behave as they do in the program.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
