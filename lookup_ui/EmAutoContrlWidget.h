#pragma once

#include "ui_EmAutoContrlWidget.h"

#include <QString>
#include <QWidget>

// The strip that shows whether the plugin window is known and passes the auto-apply and hide
// switches to the plugin controller. Both switches start off on every run.
class EmAutoContrlWidget : public QWidget, private Ui::EmAutoContrlWidget
{
    Q_OBJECT
public:
    explicit EmAutoContrlWidget(QWidget* parent = nullptr);

public slots:
    // plugin_name names the kind of plugin found ("5" or "6"), empty when none.
    void set_status_enable(bool b, const QString& plugin_name);
    void auto_btn_clicked();
    void hide_btn_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
};
