#include "EmSearchWidget.h"

#include "EmAppEntry.h"
#include "EmAppKeynoteWidget.h"
#include "EmHeardKey.h"
#include "EmMessageBoxWidget.h"
#include "EmTitleEnum.h"
#include "EmTrayWidget.h"
#include "KestruneConfig.h"
#include "ZuDataBus.h"
#include "ZuHttpClient.h"
#include "ZuMusicKeynoteMetaType.h"
#include "zudata.pb.h"

#include <QDesktopServices>
#include <QIcon>
#include <QThread>
#include <QUrl>

#include <algorithm>

namespace {

const QString logo_path = QStringLiteral(":/Kestrune/Resources/img/3.png");

} // namespace

EmSearchWidget::EmSearchWidget(std::shared_ptr<EmPlayerPlatform> platform,
                               std::unique_ptr<EmAudioCapture> capture, QWidget* parent)
    : EmSearchWidget(new EmTitleEnum(std::move(platform)), std::move(capture), parent)
{
}

EmSearchWidget::EmSearchWidget(EmTitleEnum* watcher, std::unique_ptr<EmAudioCapture> capture, QWidget* parent)
    : EmFramelessWidget(parent)
    , title_enum(watcher)
{
    setupUi(this);
    tray_widget = new EmTrayWidget(this);
    heard_key = std::make_unique<EmHeardKey>(std::move(capture), detail_widget);
    connect(tray_widget, &EmTrayWidget::heard_first_changed, heard_key.get(), &EmHeardKey::set_heard_first);

    app_icon_label->setStyleSheet(QStringLiteral("image: url(%1);").arg(logo_path));
    setWindowIcon(QIcon(logo_path));
    const QString title = QStringLiteral("Velmora电音助手");
    app_title_label->setText(title);
    setWindowTitle(title);

    title_enum_thread = new QThread(nullptr);
    title_enum->moveToThread(title_enum_thread);
    // Deleted on its own thread as the thread ends, where its timers can still be stopped.
    connect(title_enum_thread, &QThread::finished, title_enum, &QObject::deleteLater);

    connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, this, &EmSearchWidget::app_change_signal);
    connect(title_enum, &EmTitleEnum::app_status_change_signal, this, &EmSearchWidget::app_status_change);
    connect(this, &EmSearchWidget::search_res_signal, this, &EmSearchWidget::search_res);
    connect(minimum_btn, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(close_btn, &QPushButton::clicked, this, &QWidget::close);
    connect(home_btn, &QPushButton::clicked, this, &EmSearchWidget::home_web);

    title_enum_thread->start(QThread::InheritPriority);
}

EmSearchWidget::~EmSearchWidget()
{
    emit ZuDataBus::instance()->remove_http_receiver(this);
    // The watcher emits entries it owns; once its thread has ended, no new ones are on their way
    // and the watcher with its entries is gone.
    title_enum_thread->quit();
    title_enum_thread->wait();
    delete title_enum_thread;
}

void EmSearchWidget::app_change_signal(EmAppEntry* p)
{
    if (!p) {
        return;
    }
    zudata::ZuMusicKeynote record;
    record.set_music_name(p->song_name().toStdString());
    record.set_music_author(p->singer_name().toStdString());
    record.set_music_process(p->exe_name().toStdString());
    {
        std::lock_guard<std::mutex> lock(app_widgets_mutex);
        const auto row = app_widgets.find(record.music_process());
        if (row != app_widgets.end()) {
            row->second->set_music_info(QString::fromStdString(record.music_name()),
                                        QString::fromStdString(record.music_author()), QString());
        }
    }
    heard_key->song_changed(p->song_name(), p->singer_name(), p->exe_name());
    ZuHttpClient::instance()->send(zudata::CMD_EM_GET, &record, this);
}

void EmSearchWidget::on_respond(zudata::ZuRespond* respond)
{
    if (respond->err() != zudata::ERROR_OK) {
        EmMessageBoxWidget* box = EmMessageBoxWidget::instance();
        box->set_title(QStringLiteral("貌似出了点问题"));
        // The service's text, cut to what the box can hold: laying out megabytes would freeze it.
        const QString detail = QString::fromStdString(respond->errmsg());
        box->set_detail(detail.size() > max_error_text ? detail.left(max_error_text) + QChar(0x2026)
                                                       : detail);
        box->show();
        return;
    }
    if (respond->cmd() != zudata::CMD_EM_GET) {
        return;
    }
    if (respond->emusic_resp().emusics_size() > 0) {
        emit search_res_signal(QVariant::fromValue(respond->emusic_resp().emusics(0)));
    }
    show_search_result(*respond);
}

void EmSearchWidget::show_search_result(const zudata::ZuRespond& respond)
{
    const zudata::ZuMusicKeynoteSearchResp& result = respond.emusic_resp();
    detail_widget->clear_items();
    const QString logo = title_enum->icon_for_exe(QString::fromStdString(result.music_process()));
    detail_widget->set_header(QString::fromStdString(result.music_name()), logo);
    const int listed = std::min(result.emusics_size(), max_listed_records);
    for (int index = 0; index < listed; ++index) {
        detail_widget->add_item(result.emusics(index), index == 0);
    }
    if (result.emusics_size() > listed) {
        detail_widget->add_note(QStringLiteral("另有%1条结果未显示").arg(result.emusics_size() - listed));
    }
    if (result.emusics_size() == 0) {
        zudata::ZuMusicKeynote none;
        none.set_music_keynote(QStringLiteral("未查询到基调").toStdString());
        detail_widget->add_item(none, false);
    }
    heard_key->catalogue_answered(result);
}

void EmSearchWidget::search_res(const QVariant& v)
{
    const auto record = v.value<zudata::ZuMusicKeynote>();
    std::lock_guard<std::mutex> lock(app_widgets_mutex);
    // The row of the player the answer names, which need not be the one the search was for.
    const auto row = app_widgets.find(record.music_process());
    if (row != app_widgets.end()) {
        row->second->set_keynote(QString::fromStdString(record.music_keynote()));
    }
}

void EmSearchWidget::app_status_change(EmAppEntry* p)
{
    if (!p) {
        return;
    }
    // Read now rather than when the watcher reported, so a row never outlives a player that
    // stopped in between.
    const quint32 process_id = p->process_id();
    if (process_id != 0) {
        add_app_widget(p);
    } else {
        remove_app_widget(p);
    }
    heard_key->player_process(p->exe_name(), process_id);
    std::lock_guard<std::mutex> lock(app_widgets_mutex);
    heard_key->set_players_running(!app_widgets.empty());
}

void EmSearchWidget::add_app_widget(EmAppEntry* entry)
{
    std::lock_guard<std::mutex> lock(app_widgets_mutex);
    const std::string exe = entry->exe_name().toStdString();
    // A player whose process was replaced between two refreshes is reported again; its row
    // stays.
    if (app_widgets.count(exe) > 0) {
        return;
    }
    auto* row = new EmAppKeynoteWidget(entry, nullptr);
    app_widgets[exe] = row;
    row->setMinimumHeight(64);
    row->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    main_widget_layout->insertWidget(app_widget_index, row);
}

void EmSearchWidget::remove_app_widget(EmAppEntry* entry)
{
    std::lock_guard<std::mutex> lock(app_widgets_mutex);
    const auto row = app_widgets.find(entry->exe_name().toStdString());
    if (row == app_widgets.end()) {
        return;
    }
    // Dropped at once: the closed row deletes itself later and must not be handed out meanwhile.
    EmAppKeynoteWidget* const widget = row->second;
    app_widgets.erase(row);
    main_widget_layout->removeWidget(widget);
    widget->close();
}

void EmSearchWidget::home_web()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral(KESTRUNE_HOME_URL)));
}
