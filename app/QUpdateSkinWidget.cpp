#include "QUpdateSkinWidget.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

QUpdateSkinWidget::QUpdateSkinWidget(QObject* parent)
    : QObject(parent)
{
    QTimer* const timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &QUpdateSkinWidget::update_style);
    timer->setInterval(1000);
    timer->start();
}

void QUpdateSkinWidget::update_style()
{
    // One text for the whole process: it starts empty, so while no file has ever had text the
    // built-in sheet stays. Once one was applied, a missing or empty file empties the sheet.
    static QString applied;

    // A file that is missing or cannot be opened reads as empty text.
    QFile file(QStringLiteral("app.css"));
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    // Re-styling the whole application is costly, so identical text is not applied again.
    if (text != applied) {
        qApp->setStyleSheet(text);
        applied = text;
    }
}
