// Test entry point with a QCoreApplication: the component delivers its events as queued
// calls to the thread that created it, so the tests pump this thread's events.

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
