#pragma once

#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QZuHttpCookie;
class ZuCommandReceiver;
class ZuLocalDb;
class ZuRequestItem;
namespace google::protobuf {
class Message;
}
namespace zudata {
class ZuRespond;
}

// The one client of the key service. A request is a ZuRequest posted over HTTPS; every request
// ends in exactly one on_respond of its receiver, on the GUI thread: the service's answer, or a
// locally made failure answer (err 9001, "网络请求失败") when the exchange failed.
class ZuHttpClient : public QObject
{
    Q_OBJECT
public:
    static ZuHttpClient* instance();

    // For tests and tools; the program uses instance(), built on the local store singleton and
    // on base_url_from_environment().
    ZuHttpClient(const QString& base_url, ZuLocalDb* store, QObject* parent = nullptr);

    // KESTRUNE_API_URL from the environment when set, else the URL the build was configured with.
    static QString base_url_from_environment();

    // Service path for a command code; empty means the base URL itself.
    static QString path_for_command(int cmd);

    // Posts the command with its record; false when nothing was sent (no payload field of the
    // request takes the payload's type). The answer reaches receiver->on_respond later.
    bool send(int cmd, const google::protobuf::Message* payload, ZuCommandReceiver* receiver);

    // A request not finished this long after it was sent is abandoned and answered as a network
    // failure, however steadily its reply trickles in. Applies to requests sent afterwards.
    void set_request_deadline(int ms) { request_deadline_ms = ms; }

    // The most a reply may cost, both as received and after inflating; a larger one is abandoned
    // and answered as a network failure.
    static constexpr qint64 max_reply_size = 16 * 1024 * 1024;
    // Replies announcing a larger inflated size than this are not inflated.
    static constexpr unsigned long max_unzip_length = max_reply_size;
    // How far Qt's network thread may read a reply ahead of the client taking it in.
    static constexpr qint64 read_ahead_size = 256 * 1024;

    // The answer a finished reply brings its receiver, from the reply's "Content-Encoding" and
    // "Content-unzipLength" headers and its body; false when the body says nothing the receiver
    // could use, which is then answered as a network failure. Any thread.
    static bool decode_reply(const QByteArray& content_encoding, const QByteArray& unzip_length,
                             const QByteArray& body, int http_status, zudata::ZuRespond& respond);

public slots:
    void remove_request(ZuCommandReceiver* recver_addr);

private:
    QNetworkRequest build_request(const QString& path, const std::string& serial) const;
    std::shared_ptr<ZuRequestItem> take_pending(const std::string& serial);
    // Bounds the reply in time and size and collects its body; reply_finish answers once it ends.
    void watch(QNetworkReply* reply);
    void reply_finish(QNetworkReply* reply, const QByteArray& received);
    void deliver_failure(const std::string& serial);

    QNetworkAccessManager* manager;
    QZuHttpCookie* cookie_jar;
    QString base_url;
    QSslConfiguration tls;
    int request_deadline_ms = 15000;
    std::mutex pending_mutex;
    std::map<std::string, std::shared_ptr<ZuRequestItem>> pending;
};
