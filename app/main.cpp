#include "EmDesktopAudioCapture.h"
#include "EmDesktopPlayerPlatform.h"
#include "EmDesktopPluginPlatform.h"
#include "EmPluginControl.h"
#include "EmSearchWidget.h"
#include "QUpdateSkinWidget.h"
#include "ZuDeviceSerial.h"
#include "ZuHttpClient.h"
#include "ZuLocalDb.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

void install_style_sheet(QApplication& app)
{
    // Without the resource the program runs unstyled; nothing to report to the user.
    QFile sheet(QStringLiteral(":/Kestrune/app.css"));
    if (sheet.open(QIODevice::ReadOnly)) {
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }
}

QString database_path()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(dir);
    return dir + QStringLiteral("/em.db");
}

} // namespace

int main(int argc, char** argv)
{
    // Destroyed in reverse order: the window first, which ends the watcher's thread before the
    // watcher's entries and the application go away.
    QApplication app(argc, argv);
    install_style_sheet(app);
    // The first computation fixes the adapter whose address every request of this run carries.
    device_serial();
    QUpdateSkinWidget reloader;

    ZuLocalDb* store = ZuLocalDb::instance();
    store->set_path(database_path().toStdString());
    store->open();
    ZuHttpClient::instance();
    EmPluginControl::install(make_desktop_plugin_platform());

    EmSearchWidget window(make_desktop_player_platform(), make_desktop_audio_capture());
    window.show();
    return app.exec();
}
