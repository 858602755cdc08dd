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

    QFile file(QStringLiteral("app.css"));
    file.open(QIODevice::ReadOnly);
    const QString text = QString::fromUtf8(file.readAll());
    // Re-styling the whole application is costly, so identical text is not applied again.
    if (text != applied) {
        qApp->setStyleSheet(text);
        applied = text;
    }
}
