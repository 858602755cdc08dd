#include "EmDetailItemWidget.h"

#include "EmFramelessWidget.h"
#include "EmPluginControl.h"
#include "EmStyledBackground.h"
#include "zuemusic.pb.h"

EmDetailItemWidget::EmDetailItemWidget(const zudata::ZuMusicKeynote& record, QWidget* parent)
    : QPushButton(parent)
{
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setCheckable(true);
    // The style sheet selects rows by this name.
    setObjectName(QStringLiteral("detailItembtn"));
    set_record(record, QString::fromStdString(record.music_keynote()));
    connect(this, &QAbstractButton::toggled, this, &EmDetailItemWidget::enable_keynote);
}

void EmDetailItemWidget::set_record(const zudata::ZuMusicKeynote& record, const QString& key)
{
    set_elided_text(QString::fromStdString(record.music_name()), music_name_label);
    set_elided_text(QString::fromStdString(record.music_author()), music_author_label);
    set_elided_text(QString::fromStdString(record.music_keynote()), music_keynote_label);
    const bool changed = key != keynote;
    keynote = key;
    if (changed && isChecked()) {
        enable_keynote(true);
    }
}

void EmDetailItemWidget::enable_keynote(bool b)
{
    if (!b) {
        return;
    }
    EmPluginControl::instance()->update_key_string(keynote);
}

void EmDetailItemWidget::paintEvent(QPaintEvent* event)
{
    paint_styled_background(this);
    QPushButton::paintEvent(event);
}

void EmDetailItemWidget::resizeEvent(QResizeEvent* event)
{
    QPushButton::resizeEvent(event);
    const int w = width();
    music_name_label->resize(w / 2 - 20, music_name_label->height());
    music_author_label->resize(w / 2 - 20, music_author_label->height());
    music_keynote_label->resize(w - 20, music_keynote_label->height());
    refresh_elided_text(music_name_label);
    refresh_elided_text(music_author_label);
    refresh_elided_text(music_keynote_label);
}
