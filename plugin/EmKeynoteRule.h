#pragma once

#include <QMap>
#include <QString>
#include <optional>

// Turns a keynote text from the key service ("Gb Major", "F# Minor(live)") into the number of
// Down presses for the plugin's Scale pop-up and for its Key pop-up. A name missing from its
// table counts 0: the pop-up is opened and closed again without moving.
class EmKeynoteRule
{
public:
    struct Numbers
    {
        int scale;
        int key;
    };

    EmKeynoteRule();

    // Nothing when the text has no blank, so there is nothing to apply at all.
    std::optional<Numbers> numbers(const QString& keynote) const;

    // True when applying the text would move both pop-ups, i.e. both names are known.
    bool understands(const QString& keynote) const;

private:
    QMap<QString, int> scale_numbers;
    QMap<QString, int> key_numbers;
};
