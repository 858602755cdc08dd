#pragma once

#include "ui_EmDetailItemWidget.h"

#include <QPushButton>
#include <QString>

namespace zudata {
class ZuMusicKeynote;
}

// One key record of a reply: a checkable row showing song, singer and key. Checking it hands
// the key to the plugin controller. Rows delete themselves when closed.
class EmDetailItemWidget : public QPushButton, private Ui::EmDetailItemWidget
{
    Q_OBJECT
public:
    EmDetailItemWidget(const zudata::ZuMusicKeynote& record, QWidget* parent);

    // Shows another record, whose key as shown may carry more than the key to hand over ("F#
    // Minor 82%"). A checked row hands over a key that changed.
    void set_record(const zudata::ZuMusicKeynote& record, const QString& key);

public slots:
    void enable_keynote(bool b);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Kept whole: the label may show it cut short, and a cut key would set the wrong one.
    QString keynote;
};
