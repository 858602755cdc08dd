#include "EmTrayMenu.h"

#include "EmMessageBoxWidget.h"
#include "EmPluginControl.h"
#include "KestruneConfig.h"

#include <QCoreApplication>
#include <QIcon>

EmTrayMenu::EmTrayMenu(QWidget* parent)
    : QMenu(parent)
{
    setToolTipDuration(1000);
    setToolTipsVisible(true);

    QAction* const dpi = addAction(QIcon(QStringLiteral(":/Kestrune/Resources/img/zoom.png")),
                                   QStringLiteral("电音失效"), this, &EmTrayMenu::emusic_plugin_dpi);
    dpi->setToolTip(QStringLiteral("自动电音无效，请点击我"));
    QAction* const heard_first = addAction(QStringLiteral("以听辨为准"));
    heard_first->setCheckable(true);
    connect(heard_first, &QAction::toggled, this, &EmTrayMenu::heard_first_changed);
    addAction(QIcon(QStringLiteral(":/Kestrune/Resources/img/about.png")), QStringLiteral("关于"), this,
              &EmTrayMenu::about_app);
    addAction(QIcon(QStringLiteral(":/Kestrune/Resources/img/quit.png")), QStringLiteral("退出"), this,
              &EmTrayMenu::quit_app);
}

// Auto-applied clicks miss the plugin's pop-ups on some scaled screens; this lets the user drop
// or restore the scaling of the click positions. It only matters while auto-apply is on.
void EmTrayMenu::emusic_plugin_dpi()
{
    EmPluginControl* const control = EmPluginControl::instance();
    if (control->auto_apply()) {
        control->toggle_scale_compensation();
    }
}

void EmTrayMenu::about_app()
{
    if (!about_box) {
        about_box = new EmMessageBoxWidget(2, nullptr);
        connect(about_box, &EmMessageBoxWidget::message_box_close, this, &EmTrayMenu::about_close);
    }
    about_box->set_title(QStringLiteral("Velmora电音助手"));
    about_box->set_detail(QStringLiteral("Velmora电音助手 ") + QLatin1String(KESTRUNE_VERSION));
    about_box->show();
}

void EmTrayMenu::quit_app()
{
    QCoreApplication::quit();
}

void EmTrayMenu::about_close()
{
    about_box = nullptr;
}
