#include "LookupUiTestSupport.h"

#include "EmPluginControl.h"
#include "EmTitleEnum.h"
#include "ExpectedPosts.h"
#include "HttpsPeer.h"
#include "QKugouBanzou.h"
#include "ZuHttpClient.h"
#include "ZuLocalDb.h"

#include <QApplication>
#include <QFile>
#include <QLabel>

namespace {

EmPluginPlatform::WindowHandle open_window = EmPluginPlatform::no_window;

} // namespace

EmFakePluginPlatform& plugin_desktop()
{
    static const std::shared_ptr<EmFakePluginPlatform> desktop = [] {
        auto fake = std::make_shared<EmFakePluginPlatform>();
        EmPluginControl::install(fake);
        return fake;
    }();
    return *desktop;
}

void open_plugin_window(const std::string& class_name)
{
    close_plugin_window();
    open_window = plugin_desktop().add_window(EmPluginPlatform::no_window, class_name);
    EmPluginControl::instance()->dect_plugin();
}

void close_plugin_window()
{
    EmFakePluginPlatform& desktop = plugin_desktop();
    if (open_window != EmPluginPlatform::no_window) {
        desktop.remove_window(open_window);
        open_window = EmPluginPlatform::no_window;
    }
    EmPluginControl::instance()->dect_plugin();
    desktop.take_posts();
}

EmPluginPlatform::WindowHandle plugin_window()
{
    return open_window;
}

std::vector<EmFakePluginPlatform::Post> apply_posts(int scale, int key)
{
    return expected::apply(open_window, expected::v2_scale, scale, expected::v2_key, key);
}

std::vector<EmFakePluginPlatform::Post> twice(const std::vector<EmFakePluginPlatform::Post>& posts)
{
    std::vector<EmFakePluginPlatform::Post> both = posts;
    both.insert(both.end(), posts.begin(), posts.end());
    return both;
}

QLabel* find_label(QWidget* parent, const char* name)
{
    return parent->findChild<QLabel*>(QString::fromLatin1(name));
}

zudata::ZuMusicKeynote keynote_record(const std::string& name, const std::string& singer,
                                      const std::string& keynote, const std::string& process)
{
    zudata::ZuMusicKeynote record;
    record.set_music_name(name);
    record.set_music_author(singer);
    record.set_music_keynote(keynote);
    record.set_music_process(process);
    return record;
}

void use_program_look()
{
    QFont font = QApplication::font();
    // 9 points at 96 dots per inch, whatever the platform plugin's resolution.
    font.setPixelSize(12);
    QApplication::setFont(font);
    QFile sheet(QStringLiteral(":/Kestrune/app.css"));
    if (sheet.open(QIODevice::ReadOnly)) {
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }
}

KeyService& KeyService::instance()
{
    static KeyService service;
    return service;
}

KeyService::KeyService()
    : peer(
          std::make_unique<HttpsPeer>([this](const HttpsPeer::Request& request, httplib::Response& response) {
              zudata::ZuRequest lookup;
              lookup.ParseFromString(request.body);
              const std::string plain = answer(lookup);
              response.set_header("Content-Encoding", "zlib");
              response.set_header("Content-unzipLength", std::to_string(plain.size()));
              response.set_content(HttpsPeer::zlib_compress(plain), "application/x-protobuf");
          }))
{
    qputenv("KESTRUNE_CA_FILE", QByteArray::fromStdString(HttpsPeer::ca_file()));
    qputenv("KESTRUNE_API_URL", QByteArray::fromStdString(peer->base_url()));
    ZuLocalDb::instance()->set_path(home.filePath(QStringLiteral("em.db")).toStdString());
    ZuLocalDb::instance()->open();
    ZuHttpClient::instance();
}

void KeyService::answer_keys(const std::vector<std::string>& keys)
{
    std::lock_guard<std::mutex> lock(mutex);
    script = Script{keys, {}};
}

void KeyService::answer_error(const std::string& message)
{
    std::lock_guard<std::mutex> lock(mutex);
    script = Script{{}, message};
}

std::vector<zudata::ZuRequest> KeyService::lookups() const
{
    std::vector<zudata::ZuRequest> found;
    const std::vector<HttpsPeer::Request> requests = peer->requests();
    std::lock_guard<std::mutex> lock(mutex);
    for (std::size_t index = forgotten; index < requests.size(); ++index) {
        zudata::ZuRequest request;
        request.ParseFromString(requests[index].body);
        found.push_back(request);
    }
    return found;
}

void KeyService::forget_lookups()
{
    const std::size_t count = peer->requests().size();
    std::lock_guard<std::mutex> lock(mutex);
    forgotten = count;
}

std::string KeyService::answer(const zudata::ZuRequest& request) const
{
    std::lock_guard<std::mutex> lock(mutex);
    zudata::ZuRespond respond;
    respond.set_cmd(request.cmd());
    // This service takes no proposals yet and says so, as one that does not know a command.
    if (request.cmd() != zudata::CMD_EM_GET) {
        respond.set_err(zudata::ERROR_FAILED);
        respond.set_errmsg("unknown command");
        return respond.SerializeAsString();
    }
    if (!script.error.empty()) {
        respond.set_err(zudata::ERROR_FAILED);
        respond.set_errmsg(script.error);
        return respond.SerializeAsString();
    }
    respond.set_err(zudata::ERROR_OK);
    const zudata::ZuMusicKeynote& asked = request.emusic();
    zudata::ZuMusicKeynoteSearchResp* result = respond.mutable_emusic_resp();
    result->set_music_name(asked.music_name());
    result->set_music_process(asked.music_process());
    for (const std::string& key : script.keys) {
        *result->add_emusics() =
            keynote_record(asked.music_name(), asked.music_author(), key, asked.music_process());
    }
    return respond.SerializeAsString();
}

PlayerDesktop::PlayerDesktop() = default;

EmTitleEnum* PlayerDesktop::make_watcher()
{
    auto* log_reader = new QKugouBanzou({QStringLiteral("APPDATA=") + log_home.path()}, 0);
    watcher = new EmTitleEnum(desktop, log_reader, 0);
    return watcher;
}

void PlayerDesktop::refresh()
{
    QMetaObject::invokeMethod(watcher, "refresh_windows_window", Qt::BlockingQueuedConnection);
    // The reports were posted before the refresh returned.
    QCoreApplication::sendPostedEvents();
}
