#include <QApplication>
#include <gtest/gtest.h>

// Qt 5.15's offscreen platform never frees the screen it creates, which LeakSanitizer reports at
// the end of every widget test. Only allocations made inside that plugin are excused; telling
// them apart takes full allocation stacks. Without a sanitizer these hooks are never called.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n";
}

// Widget tests need a QApplication. Test discovery runs the binary at build time without the test
// environment, so without a display it falls back to the offscreen platform itself.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
