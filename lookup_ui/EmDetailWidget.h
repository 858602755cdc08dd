#pragma once

#include "ui_EmDetailWidget.h"

#include <QString>
#include <QWidget>

class QButtonGroup;
namespace zudata {
class ZuMusicKeynote;
}

// The result list: the searched song with its player's logo, then one exclusive row per key
// record of the last reply.
class EmDetailWidget : public QWidget, private Ui::EmDetailWidget
{
    Q_OBJECT
public:
    explicit EmDetailWidget(QWidget* parent = nullptr);

    void clear_items();
    // A checked row hands its key to the plugin controller.
    void add_item(const zudata::ZuMusicKeynote& record, bool checked);
    // A line of text below the rows, not a record: nothing to check or hand over.
    void add_note(const QString& text);
    void set_header(const QString& music_name, const QString& icon_path);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QButtonGroup* button_group;
    // Rows go below the header line.
    int row_index = 1;
};
