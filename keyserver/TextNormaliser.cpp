#include "TextNormaliser.h"

#include <QString>

namespace {

constexpr char16_t full_width_first = 0xFF01;
constexpr char16_t full_width_last = 0xFF5E;
constexpr char16_t full_width_offset = 0xFEE0;
constexpr char16_t ideographic_space = 0x3000;

} // namespace

std::string TextNormaliser::normalise(const std::string& utf8)
{
    QString text = QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
    for (QChar& c : text) {
        const char16_t code = c.unicode();
        if (code >= full_width_first && code <= full_width_last) {
            c = QChar(static_cast<char16_t>(code - full_width_offset));
        } else if (code == ideographic_space) {
            c = QChar(' ');
        }
    }
    return text.toCaseFolded().trimmed().toStdString();
}
