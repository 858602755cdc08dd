#include "EmAppKeynoteWidget.h"

#include "EmAppEntry.h"
#include "EmFramelessWidget.h"
#include "EmStyledBackground.h"
#include "ZuDataBus.h"

EmAppKeynoteWidget::EmAppKeynoteWidget(EmAppEntry* entry, QWidget* parent)
    : QPushButton(parent)
    , app_entry(entry)
{
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The design texts stay until the first search, so they must survive the cut that every
    // resize makes again.
    set_music_info(music_name_label->text(), music_author_label->text(), music_keynote_label->text());
    if (!entry->icon_path().isEmpty()) {
        app_header_label->setStyleSheet(
            QStringLiteral("image:url(%1);image-position:center;").arg(entry->icon_path()));
    }
    connect(this, &QAbstractButton::clicked, this, &EmAppKeynoteWidget::app_keynote_clicked);
}

void EmAppKeynoteWidget::set_music_info(const QString& music_name, const QString& music_author,
                                        const QString& music_keynote)
{
    set_elided_text(music_name, music_name_label);
    set_elided_text(music_author, music_author_label);
    set_elided_text(music_keynote, music_keynote_label);
    relayout_labels();
}

void EmAppKeynoteWidget::set_keynote(const QString& music_keynote)
{
    set_elided_text(music_keynote, music_keynote_label);
}

QString EmAppKeynoteWidget::exe_name() const
{
    return app_entry->exe_name();
}

void EmAppKeynoteWidget::app_keynote_clicked()
{
    emit ZuDataBus::instance()->app_change_signal(app_entry);
}

void EmAppKeynoteWidget::paintEvent(QPaintEvent* event)
{
    // Only the styled background: the row is a button without a button face.
    paint_styled_background(this);
    QWidget::paintEvent(event);
}

void EmAppKeynoteWidget::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    relayout_labels();
}

void EmAppKeynoteWidget::relayout_labels()
{
    const int third = width() / 3;
    music_name_label->resize(third, music_name_label->height());
    music_author_label->resize(third, music_author_label->height());
    music_keynote_label->resize(third * 2, music_keynote_label->height());
    refresh_elided_text(music_name_label);
    refresh_elided_text(music_author_label);
    refresh_elided_text(music_keynote_label);
}
