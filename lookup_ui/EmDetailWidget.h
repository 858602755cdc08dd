#pragma once

#include "ui_EmDetailWidget.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class EmDetailItemWidget;
class QButtonGroup;
class QLabel;
namespace zudata {
class ZuMusicKeynote;
}

// The result list: the searched song with its player's logo, then one exclusive row per key
// record of the last reply, and below them the heard slot: the row of the key heard in the music,
// or a line saying why nothing can be heard. Clearing the list clears the slot too.
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

    // The heard row, added unchecked or shown anew; `key` is what it hands over.
    void show_heard(const zudata::ZuMusicKeynote& record, const QString& key);
    // A line in place of the heard row.
    void show_heard_note(const QString& text);
    void clear_heard();
    // Check a row, which hands its key over unless it was checked already; no row, nothing.
    void check_heard();
    void check_first();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* make_note(const QString& text);
    // Takes a row or note out of the list; it deletes itself.
    void drop(QWidget* widget);

    QButtonGroup* button_group;
    // Rows go below the header line, the heard slot below them.
    int row_index = 1;
    // Rows and notes delete themselves when closed.
    QPointer<EmDetailItemWidget> first_row;
    QPointer<EmDetailItemWidget> heard_row;
    QPointer<QLabel> heard_note;
};
