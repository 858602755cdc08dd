#include "TestEventLoop.h"

#include <QtTest/QTest>

bool spin_until(const std::function<bool()>& condition, int timeout_ms)
{
    return QTest::qWaitFor(condition, timeout_ms);
}

void spin_for(int ms)
{
    QTest::qWait(ms);
}
