#include "EmFramelessWidget.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QTextDocument>

namespace {

// The whole text lives beside the tooltip, as a tooltip that looks like markup is stored escaped.
const char* const full_text_property = "em_full_text";

QString tooltip_for(const QString& text)
{
    // Tooltips render markup, and markup can make the tooltip fetch images from local or network
    // paths; texts from players and the service are shown literally instead.
    if (!Qt::mightBeRichText(text)) {
        return text;
    }
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace

EmFramelessWidget::EmFramelessWidget(QWidget* parent)
    : QWidget(parent)
{
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground, true);
}

void EmFramelessWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && start_band_resize(event->pos())) {
        return;
    }
    chrome.press(event);
}

void EmFramelessWidget::mouseMoveEvent(QMouseEvent* event)
{
    chrome.move(this, event);
}

void EmFramelessWidget::paintEvent(QPaintEvent* event)
{
    chrome.paint(this);
    QWidget::paintEvent(event);
}

QString set_elided_text(const QString& text, QLabel* label)
{
    const QFontMetrics metrics(label->font());
    QString shown = text;
    if (metrics.horizontalAdvance(text) > label->width()) {
        shown = metrics.elidedText(text, Qt::ElideRight, label->width());
    }
    label->setTextFormat(Qt::PlainText);
    label->setText(shown);
    label->setProperty(full_text_property, text);
    label->setToolTip(tooltip_for(text));
    return shown;
}

QString refresh_elided_text(QLabel* label)
{
    const QVariant full_text = label->property(full_text_property);
    return set_elided_text(full_text.isValid() ? full_text.toString() : label->toolTip(), label);
}
