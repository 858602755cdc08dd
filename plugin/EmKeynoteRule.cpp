#include "EmKeynoteRule.h"

#include <QStringList>

EmKeynoteRule::EmKeynoteRule()
{
    scale_numbers.insert("Major", 1);
    scale_numbers.insert("Minor", 2);
    scale_numbers.insert("Chromatic", 3);

    key_numbers.insert("C", 1);
    key_numbers.insert("Db", 2);
    key_numbers.insert("D", 3);
    key_numbers.insert("Eb", 4);
    key_numbers.insert("E", 5);
    key_numbers.insert("F", 6);
    key_numbers.insert("F#", 7);
    key_numbers.insert("G", 8);
    key_numbers.insert("Ab", 9);
    key_numbers.insert("A", 10);
    key_numbers.insert("Bb", 11);
    key_numbers.insert("B", 12);
    // The service names Gb in two ways depending on the scale, and the plugin's key list wants
    // the minor one on the Ab entry, so plain "Gb" is deliberately absent.
    key_numbers.insert("Gb Major", 7);
    key_numbers.insert("Gb Minor", 9);
}

std::optional<EmKeynoteRule::Numbers> EmKeynoteRule::numbers(const QString& keynote) const
{
    // The service appends remarks such as "Major(live)"; opening the bracket with a blank keeps
    // the scale name a piece of its own.
    QString text = keynote;
    text.replace('(', ' ');
    const QStringList pieces = text.split(' ', Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (pieces.size() < 2) {
        return std::nullopt;
    }
    const QString& key = pieces.at(0);
    const QString& scale = pieces.at(1);
    const int key_number =
        key_numbers.contains(key) ? key_numbers.value(key) : key_numbers.value(key + ' ' + scale, 0);
    return Numbers{scale_numbers.value(scale, 0), key_number};
}

bool EmKeynoteRule::understands(const QString& keynote) const
{
    const std::optional<Numbers> found = numbers(keynote);
    return found && found->scale > 0 && found->key > 0;
}
