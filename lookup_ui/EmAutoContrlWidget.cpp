#include "EmAutoContrlWidget.h"

#include "EmPluginControl.h"
#include "EmStyledBackground.h"
#include "ZuDataBus.h"

EmAutoContrlWidget::EmAutoContrlWidget(QWidget* parent)
    : QWidget(parent)
{
    setupUi(this);
    set_status_enable(false, QString());
    connect(ZuDataBus::instance(), &ZuDataBus::emusic_plugin_enable, this,
            &EmAutoContrlWidget::set_status_enable);
    connect(auto_checkbox, &QCheckBox::clicked, this, &EmAutoContrlWidget::auto_btn_clicked);
    connect(hide_checkbox, &QCheckBox::clicked, this, &EmAutoContrlWidget::hide_btn_clicked);
}

void EmAutoContrlWidget::set_status_enable(bool b, const QString& plugin_name)
{
    if (b) {
        available_label->setStyleSheet(
            QStringLiteral("image:url(:/Kestrune/Resources/img/status_enable.png);"));
        auto_checkbox->setText(QStringLiteral("自动电音%1").arg(plugin_name));
        auto_checkbox->setEnabled(true);
        hide_checkbox->setEnabled(true);
    } else {
        available_label->setStyleSheet(
            QStringLiteral("image:url(:/Kestrune/Resources/img/status_disable.png);"));
        // The check mark stays, so that the switch comes back on by itself with the plugin.
        auto_checkbox->setText(QStringLiteral("未检测到《电音》插件"));
        auto_checkbox->setEnabled(false);
        // Without a plugin window there is nothing to show again, so the controller is not told.
        hide_checkbox->setChecked(false);
        hide_checkbox->setEnabled(false);
    }
    EmPluginControl::instance()->set_auto_apply(auto_checkbox->isEnabled() && auto_checkbox->isChecked());
}

void EmAutoContrlWidget::auto_btn_clicked()
{
    EmPluginControl::instance()->set_auto_apply(auto_checkbox->isChecked());
}

void EmAutoContrlWidget::hide_btn_clicked()
{
    EmPluginControl::instance()->show_plugin(!hide_checkbox->isChecked());
}

void EmAutoContrlWidget::paintEvent(QPaintEvent* event)
{
    paint_styled_background(this);
    QWidget::paintEvent(event);
}
