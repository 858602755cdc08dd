#include "EmAutoContrlWidget.h"
#include "EmDetailItemWidget.h"
#include "EmFakeAudioCapture.h"
#include "EmHeardKey.h"
#include "EmKeyDetector.h"
#include "EmSearchWidget.h"
#include "ListenClips.h"
#include "LookupUiTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPixmap>

#include <chrono>
#include <cstdio>

namespace {

bool process_events_until(const std::function<bool()>& condition, int timeout_ms = 10000)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return condition();
}

// Whether the last result row is the heard key, sure enough to be applied ("F# Major 97%").
bool heard_confidently(const QWidget& window)
{
    const QList<EmDetailItemWidget*> rows = window.findChildren<EmDetailItemWidget*>();
    if (rows.isEmpty()) {
        return false;
    }
    const auto* singer = rows.back()->findChild<QLabel*>(QStringLiteral("music_author_label"));
    const auto* key = rows.back()->findChild<QLabel*>(QStringLiteral("music_keynote_label"));
    if (!singer || !key || singer->text() != QString::fromUtf8(EmHeardKey::singer_text)) {
        return false;
    }
    const QString text = key->property("em_full_text").toString();
    return text.section(QLatin1Char(' '), 2, 2).chopped(1).toInt() >= EmKeyDetector::confident * 100;
}

} // namespace

// Shows the main window with a player's header row and its key, three results with the first
// checked, the key heard in the music (the catalogue's first, played ten times faster than real
// time) and the plugin found, and saves it as the PNG named by the first argument.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    use_program_look();
    KeyService::instance().answer_keys({"Gb Major", "F# Minor", "C Major"});
    plugin_desktop();

    PlayerDesktop players;
    EmSearchWidget window(players.make_watcher(), std::make_unique<EmFakeAudioCapture>(
                                                      ListenClips::render(ListenClips::song({6, false})), 2,
                                                      ListenClips::rate, std::chrono::milliseconds(10)));
    window.show();
    // After the panel exists, which otherwise waits for the next detection to light up.
    open_plugin_window();
    window.findChild<QCheckBox*>(QStringLiteral("auto_checkbox"))->click();
    players.fake().start_process("QQMusic.exe", 200);
    players.fake().add_window(200, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    if (!process_events_until([&] { return window.findChildren<EmDetailItemWidget*>().size() >= 3; })) {
        std::fprintf(stderr, "the key service did not answer\n");
        return 1;
    }
    if (!process_events_until([&] { return heard_confidently(window); }, 30000)) {
        std::fprintf(stderr, "no key was heard\n");
        return 1;
    }
    // Let the layouts settle and the window be painted once.
    process_events_until([] { return false; }, 500);
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
