#pragma once

#include "EmKey.h"
#include "ZuCommandReceiver.h"

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class EmAudioCapture;
class EmDetailWidget;
class EmKeyHearing;
namespace zudata {
class ZuMusicKeynoteSearchResp;
}

// The key heard in the music beside the catalogue's, in the result list: a row "听辨" with the
// heard key and its confidence below the catalogue's rows. What it hands to the plugin by itself:
// - nothing while the catalogue has keys and the two agree (the same key, a fifth, the relative
//   or the parallel key are the usual slips of hearing and of catalogues);
// - the heard key, once per song, when the catalogue knows no key and the estimate is confident;
//   that key is also proposed to the catalogue, once per song and run;
// - on a confident disagreement the row says "与曲库不同" and the heard-first switch picks which
//   of the two is applied.
//
// Lives on the GUI thread, as long as the list it fills; listening runs elsewhere (EmKeyHearing).
class EmHeardKey : public QObject, public ZuCommandReceiver
{
    Q_OBJECT
public:
    // Without a capture nothing is heard and the list is left as the catalogue fills it.
    EmHeardKey(std::unique_ptr<EmAudioCapture> capture, EmDetailWidget* list, QObject* parent = nullptr);
    ~EmHeardKey() override;

    // Listens while at least one player runs.
    void set_players_running(bool running);
    // A player's process appeared, was replaced (another id) or went away (0). The capture
    // follows the process of the player whose song is current, where it can hear one alone.
    void player_process(const QString& exe, quint32 process_id);
    // The song whose key is wanted now; another song than the current one starts afresh.
    void song_changed(const QString& name, const QString& singer, const QString& exe);
    // The list was just refilled from this answer, the catalogue's first key checked.
    void catalogue_answered(const zudata::ZuMusicKeynoteSearchResp& result);
    void set_heard_first(bool on);

    // The answer to a proposal. Whatever it says, the user is not bothered.
    void on_respond(zudata::ZuRespond* respond) override;

    static constexpr const char* singer_text = "听辨";
    static constexpr const char* differs_text = "与曲库不同";
    static constexpr const char* no_sound_text = "未检测到声音服务";

private:
    enum class Catalogue
    {
        Asked,
        Keys,
        Nothing
    };
    struct Estimate
    {
        EmKey key;
        double confidence;
    };

    void heard(const EmKey& key, double confidence);
    void sound_available(bool available);
    // Shows the heard slot for what is known now and applies the rules above.
    void update();
    bool confident() const;
    bool differs() const;
    void propose();
    void follow_current_player();

    EmDetailWidget* const list;
    std::unique_ptr<EmKeyHearing> hearing;
    bool heard_first = false;
    bool sound_missing = false;

    // The current song and what is known about it.
    QString song;
    QString singer;
    QString exe;
    Catalogue catalogue = Catalogue::Asked;
    std::optional<EmKey> catalogue_key;
    std::optional<Estimate> estimate;
    bool handed_over = false;
    // Whether the heard row said "与曲库不同" when last shown; a row shown afresh did not.
    bool marked = false;
    // Each running player's process, by executable name.
    std::map<QString, quint32> processes;
    // Songs proposed in this run, as song and singer.
    std::set<std::pair<QString, QString>> proposed;
};
