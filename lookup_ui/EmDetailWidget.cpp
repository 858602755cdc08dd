#include "EmDetailWidget.h"

#include "EmDetailItemWidget.h"
#include "EmFramelessWidget.h"
#include "EmStyledBackground.h"

#include <QButtonGroup>
#include <QLabel>

EmDetailWidget::EmDetailWidget(QWidget* parent)
    : QWidget(parent)
    , button_group(new QButtonGroup(this))
{
    setupUi(this);
    button_group->setExclusive(true);
}

void EmDetailWidget::clear_items()
{
    row_index = 1;
    first_row = nullptr;
    heard_row = nullptr;
    heard_note = nullptr;
    // The form's spacer goes with the rows: from now on the rows fill the list.
    while (QLayoutItem* item = detail_layout->takeAt(1)) {
        if (QWidget* row = item->widget()) {
            row->close();
        }
        delete item;
    }
}

void EmDetailWidget::add_item(const zudata::ZuMusicKeynote& record, bool checked)
{
    auto* row = new EmDetailItemWidget(record, this);
    if (!first_row) {
        first_row = row;
    }
    row->setMinimumHeight(65);
    detail_layout->insertWidget(row_index, row);
    button_group->addButton(row, -1);
    row->setChecked(checked);
    // Every new row reports its state, also where setChecked changed nothing; a row added
    // checked therefore hands its key over twice.
    emit row->toggled(checked);
    ++row_index;
}

void EmDetailWidget::add_note(const QString& text)
{
    detail_layout->insertWidget(row_index, make_note(text));
    ++row_index;
}

QLabel* EmDetailWidget::make_note(const QString& text)
{
    auto* note = new QLabel(this);
    note->setObjectName(QStringLiteral("detail_note_label"));
    // Cleared with the rows, which delete themselves when closed.
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->setTextFormat(Qt::PlainText);
    note->setAlignment(Qt::AlignCenter);
    note->setText(text);
    return note;
}

void EmDetailWidget::show_heard(const zudata::ZuMusicKeynote& record, const QString& key)
{
    drop(heard_note);
    heard_note = nullptr;
    if (heard_row) {
        heard_row->set_record(record, key);
        return;
    }
    heard_row = new EmDetailItemWidget(record, this);
    heard_row->set_record(record, key);
    heard_row->setMinimumHeight(65);
    // Not counted in row_index: rows of a reply go above it.
    detail_layout->insertWidget(row_index, heard_row);
    button_group->addButton(heard_row, -1);
}

void EmDetailWidget::show_heard_note(const QString& text)
{
    clear_heard();
    heard_note = make_note(text);
    detail_layout->insertWidget(row_index, heard_note);
}

void EmDetailWidget::clear_heard()
{
    drop(heard_row);
    drop(heard_note);
    heard_row = nullptr;
    heard_note = nullptr;
}

void EmDetailWidget::drop(QWidget* widget)
{
    if (widget) {
        detail_layout->removeWidget(widget);
        widget->close();
    }
}

void EmDetailWidget::check_heard()
{
    if (heard_row) {
        heard_row->setChecked(true);
    }
}

void EmDetailWidget::check_first()
{
    if (first_row) {
        first_row->setChecked(true);
    }
}

void EmDetailWidget::set_header(const QString& music_name, const QString& icon_path)
{
    app_header_label->setStyleSheet(
        icon_path.isEmpty() ? QString()
                            : QStringLiteral("image:url(%1);image-position:center;").arg(icon_path));
    set_elided_text(music_name, detail_music_name_label);
}

void EmDetailWidget::paintEvent(QPaintEvent* event)
{
    paint_styled_background(this);
    QWidget::paintEvent(event);
}

void EmDetailWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    detail_music_name_label->resize(width() / 3 * 2, detail_music_name_label->height());
    refresh_elided_text(detail_music_name_label);
}
