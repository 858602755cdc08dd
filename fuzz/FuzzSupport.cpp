#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

void fail(const char* invariant, const QString& detail)
{
    std::fprintf(stderr, "\n==== invariant broken: %s\n%s\n", invariant, qUtf8Printable(detail));
    std::fflush(stderr);
    std::abort();
}

void ensure_application()
{
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "kestrune-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

QString work_folder()
{
    static QTemporaryDir folder;
    if (!folder.isValid()) {
        fail("a temporary folder can be made", folder.errorString());
    }
    return folder.path();
}

void quiet_standard_output()
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        fail("standard output can be sent to /dev/null");
    }
}

QString spelled_out(const QString& text)
{
    QString spelled;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.isSurrogate() || c.unicode() == 0x7F) {
            spelled += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
            spelled += c;
        }
    }
    return QLatin1Char('"') + spelled + QLatin1Char('"');
}

std::string bytes_of(const std::uint8_t* data, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

std::vector<std::string> lines_of(const std::uint8_t* data, std::size_t size)
{
    const std::string input = bytes_of(data, size);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        lines.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace fuzz
