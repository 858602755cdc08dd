#include "EmHeardKey.h"

#include "EmDetailWidget.h"
#include "EmKeyDetector.h"
#include "EmKeyHearing.h"
#include "ZuDataBus.h"
#include "ZuHttpClient.h"
#include "zudata.pb.h"

#include <cmath>

EmHeardKey::EmHeardKey(std::unique_ptr<EmAudioCapture> capture, EmDetailWidget* list, QObject* parent)
    : QObject(parent)
    , list(list)
{
    if (!capture) {
        return;
    }
    hearing = std::make_unique<EmKeyHearing>(std::move(capture));
    connect(hearing.get(), &EmKeyHearing::heard, this, &EmHeardKey::heard);
    connect(hearing.get(), &EmKeyHearing::sound_available, this, &EmHeardKey::sound_available);
}

EmHeardKey::~EmHeardKey()
{
    emit ZuDataBus::instance()->remove_http_receiver(this);
}

void EmHeardKey::set_players_running(bool running)
{
    if (!hearing) {
        return;
    }
    hearing->set_listening(running);
    if (!running && sound_missing) {
        sound_missing = false;
        update();
    }
}

void EmHeardKey::player_process(const QString& exe_name, quint32 process_id)
{
    if (process_id == 0) {
        processes.erase(exe_name);
    } else {
        processes[exe_name] = process_id;
    }
    if (exe_name == exe) {
        follow_current_player();
    }
}

void EmHeardKey::song_changed(const QString& name, const QString& singer_name, const QString& exe_name)
{
    if (name == song && singer_name == singer && exe_name == exe) {
        return;
    }
    song = name;
    singer = singer_name;
    exe = exe_name;
    catalogue = Catalogue::Asked;
    catalogue_key.reset();
    estimate.reset();
    handed_over = false;
    if (hearing) {
        hearing->new_song();
    }
    follow_current_player();
    update();
}

void EmHeardKey::catalogue_answered(const zudata::ZuMusicKeynoteSearchResp& result)
{
    // The list shows every answer, but only one for the current song says what the catalogue
    // knows about it.
    const bool current =
        QString::fromStdString(result.music_name()) == song &&
        (result.music_process().empty() || QString::fromStdString(result.music_process()) == exe);
    if (current) {
        catalogue = result.emusics_size() > 0 ? Catalogue::Keys : Catalogue::Nothing;
        catalogue_key =
            catalogue == Catalogue::Keys ? EmKey::parse(result.emusics(0).music_keynote()) : std::nullopt;
    }
    // The refill took the heard row away.
    marked = false;
    update();
}

void EmHeardKey::set_heard_first(bool on)
{
    heard_first = on;
    if (!marked) {
        return;
    }
    if (on) {
        list->check_heard();
    } else {
        list->check_first();
    }
}

void EmHeardKey::on_respond(zudata::ZuRespond*)
{
    // An accepted proposal shows in later lookups; a refused or failed one is the catalogue's
    // business, not the singer's.
}

void EmHeardKey::heard(const EmKey& key, double confidence)
{
    estimate = Estimate{key, confidence};
    update();
}

void EmHeardKey::sound_available(bool available)
{
    sound_missing = !available;
    update();
}

bool EmHeardKey::confident() const
{
    return estimate && estimate->confidence >= EmKeyDetector::confident;
}

bool EmHeardKey::differs() const
{
    return confident() && catalogue == Catalogue::Keys && catalogue_key &&
           EmKey::relation(estimate->key, *catalogue_key) == EmKey::Relation::Other;
}

void EmHeardKey::update()
{
    if (!estimate) {
        marked = false;
        if (sound_missing) {
            list->show_heard_note(QString::fromUtf8(no_sound_text));
        } else {
            list->clear_heard();
        }
        return;
    }
    const bool differing = differs();
    QString shown = QStringLiteral("%1 %2%")
                        .arg(QString::fromStdString(estimate->key.name()))
                        .arg(std::lround(estimate->confidence * 100));
    if (differing) {
        shown += QLatin1Char(' ') + QString::fromUtf8(differs_text);
    }
    zudata::ZuMusicKeynote row;
    row.set_music_name(song.toStdString());
    row.set_music_author(singer_text);
    row.set_music_keynote(shown.toStdString());
    list->show_heard(row, QString::fromStdString(estimate->key.name()));

    const bool newly_marked = differing && !marked;
    marked = differing;
    if (newly_marked && heard_first) {
        list->check_heard();
    }
    if (catalogue == Catalogue::Nothing && confident()) {
        if (!handed_over) {
            handed_over = true;
            list->check_heard();
        }
        propose();
    }
}

void EmHeardKey::follow_current_player()
{
    if (hearing) {
        const auto process = processes.find(exe);
        hearing->follow_process(process == processes.end() ? 0 : process->second);
    }
}

void EmHeardKey::propose()
{
    if (!proposed.insert({song, singer}).second) {
        return;
    }
    zudata::ZuMusicKeynote proposal;
    proposal.set_music_name(song.toStdString());
    proposal.set_music_author(singer.toStdString());
    proposal.set_music_keynote(estimate->key.name());
    proposal.set_music_process(exe.toStdString());
    ZuHttpClient::instance()->send(zudata::CMD_EM_ADD, &proposal, this);
}
