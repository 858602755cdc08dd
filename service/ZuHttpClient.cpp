#include "ZuHttpClient.h"

#include "QZuHttpCookie.h"
#include "ZuCommandReceiver.h"
#include "ZuDataBus.h"
#include "ZuDeviceSerial.h"
#include "ZuLocalDb.h"
#include "ZuMusicKeynoteMetaType.h"
#include "ZuRequestItem.h"
#include "zudata.pb.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QUrl>
#include <zlib.h>

namespace {

const char* const serial_header = "Serial-Num";

QSslConfiguration make_tls_configuration()
{
    // The system's authorities, plus those of KESTRUNE_CA_FILE for a self-hosted service.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    const QString ca_file = qEnvironmentVariable("KESTRUNE_CA_FILE");
    if (!ca_file.isEmpty()) {
        QList<QSslCertificate> authorities = tls.caCertificates();
        authorities += QSslCertificate::fromPath(ca_file, QSsl::Pem);
        tls.setCaCertificates(authorities);
    }
    return tls;
}

// Failures of the exchange itself; whatever the peer may have sent is not trusted, not even
// its cookies. A cancelled reply is one that the transfer timeout abandoned.
bool is_network_failure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

// The body as the service meant it: inflated when it says it sent zlib, as received otherwise
// or when inflating fails.
QByteArray unpacked_body(const QByteArray& content_encoding, const QByteArray& unzip_length,
                         const QByteArray& body)
{
    if (content_encoding != "zlib") {
        return body;
    }
    bool ok = false;
    const qulonglong announced = unzip_length.toULongLong(&ok);
    if (!ok || announced > ZuHttpClient::max_unzip_length) {
        return body;
    }
    QByteArray inflated(static_cast<int>(announced), Qt::Uninitialized);
    uLongf length = static_cast<uLongf>(announced);
    const int status =
        uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                   reinterpret_cast<const Bytef*>(body.constData()), static_cast<uLong>(body.size()));
    if (status != Z_OK) {
        return body;
    }
    inflated.truncate(static_cast<int>(length));
    return inflated;
}

} // namespace

ZuHttpClient* ZuHttpClient::instance()
{
    static ZuHttpClient* const client = new ZuHttpClient(base_url_from_environment(), ZuLocalDb::instance());
    return client;
}

ZuHttpClient::ZuHttpClient(const QString& base_url, ZuLocalDb* store, QObject* parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , cookie_jar(new QZuHttpCookie(store->get(), manager))
    , base_url(base_url)
    , tls(make_tls_configuration())
{
    qRegisterMetaType<zudata::ZuMusicKeynote>("zudata::ZuMusicKeynote");
    manager->setCookieJar(cookie_jar);
    connect(manager, &QNetworkAccessManager::finished, this, &ZuHttpClient::reply_finish);
    connect(ZuDataBus::instance(), &ZuDataBus::remove_http_receiver, this, &ZuHttpClient::remove_request);
}

QString ZuHttpClient::base_url_from_environment()
{
    const QString configured = qEnvironmentVariable("KESTRUNE_API_URL");
    return configured.isEmpty() ? QStringLiteral(KESTRUNE_API_URL) : configured;
}

QString ZuHttpClient::path_for_command(int cmd)
{
    // The order commands (200 to 204) lie inside the user range and go with the user service.
    if ((cmd >= 2 && cmd <= 498) || (cmd >= 4999 && cmd <= 5998)) {
        return QStringLiteral("/v1/user");
    }
    if (cmd >= 6000 && cmd <= 6999) {
        return QStringLiteral("/v1/emusic");
    }
    return QString();
}

bool ZuHttpClient::send(int cmd, const google::protobuf::Message* payload, ZuCommandReceiver* receiver)
{
    zudata::ZuRequest request;
    request.set_cmd(static_cast<zudata::MessageType>(cmd));
    if (payload != nullptr) {
        // The record goes into the envelope's field of its own type (a key record into `emusic`).
        const google::protobuf::FieldDescriptor* field = nullptr;
        const google::protobuf::Descriptor* envelope = request.GetDescriptor();
        for (int i = 0; i < envelope->field_count() && field == nullptr; ++i) {
            const auto* candidate = envelope->field(i);
            if (!candidate->is_repeated() && candidate->message_type() == payload->GetDescriptor()) {
                field = candidate;
            }
        }
        if (field == nullptr) {
            return false;
        }
        request.GetReflection()->MutableMessage(&request, field)->CopyFrom(*payload);
    }

    auto item = std::make_shared<ZuRequestItem>(receiver);
    const QNetworkRequest network_request = build_request(path_for_command(cmd), item->serial);
    {
        std::lock_guard<std::mutex> lock(pending_mutex);
        pending[item->serial] = item;
    }
    std::string body;
    request.SerializeToString(&body);
    QNetworkReply* reply = manager->post(network_request, QByteArray::fromStdString(body));
    return reply != nullptr;
}

QNetworkRequest ZuHttpClient::build_request(const QString& path, const std::string& serial) const
{
    QNetworkRequest request(QUrl(base_url + path, QUrl::TolerantMode));
    request.setSslConfiguration(tls);
    request.setTransferTimeout(transfer_timeout_ms);
    request.setRawHeader("User-Agent", QStringLiteral("%1/%2/%3")
                                           .arg(QStringLiteral("ZuKestrune"), QStringLiteral("emusic"),
                                                QStringLiteral("1.1.2"))
                                           .toUtf8());
    request.setRawHeader("Accept", "application/protobuf");
    request.setRawHeader("Content-Type", "application/protobuf");
    request.setRawHeader("Connection", "close");
    request.setRawHeader(serial_header, QByteArray::fromStdString(serial));
    request.setRawHeader("Session-Id", device_serial().toUtf8());
    return request;
}

void ZuHttpClient::reply_finish(QNetworkReply* reply)
{
    reply->deleteLater();
    const QNetworkReply::NetworkError error = reply->error();
    const std::string serial = reply->request().rawHeader(serial_header).toStdString();
    if (is_network_failure(error)) {
        deliver_failure(serial);
        return;
    }

    // Saved before the answer is decoded, so a receiver already sees them stored.
    cookie_jar->save_all();
    zudata::ZuRespond respond;
    if (!decode_reply(reply->rawHeader("Content-Encoding"), reply->rawHeader("Content-unzipLength"),
                      reply->readAll(), error != QNetworkReply::NoError, respond)) {
        deliver_failure(serial);
        return;
    }
    if (const auto item = take_pending(serial)) {
        item->notify(&respond);
    }
}

bool ZuHttpClient::decode_reply(const QByteArray& content_encoding, const QByteArray& unzip_length,
                                const QByteArray& body, bool http_error, zudata::ZuRespond& respond)
{
    const QByteArray unpacked = unpacked_body(content_encoding, unzip_length, body);
    // An error page, a truncated body or an error without any body says nothing the receiver
    // could use; it still gets its one answer.
    return respond.ParseFromArray(unpacked.constData(), unpacked.size()) &&
           !(http_error && unpacked.isEmpty());
}

void ZuHttpClient::deliver_failure(const std::string& serial)
{
    const auto item = take_pending(serial);
    if (!item) {
        return;
    }
    zudata::ZuRespond failure;
    failure.set_err(zudata::EFFECT_ERR_CLIENT_CONNECT_ERROR);
    failure.set_errmsg("网络请求失败");
    item->notify(&failure);
}

std::shared_ptr<ZuRequestItem> ZuHttpClient::take_pending(const std::string& serial)
{
    std::lock_guard<std::mutex> lock(pending_mutex);
    const auto found = pending.find(serial);
    if (found == pending.end()) {
        return nullptr;
    }
    auto item = found->second;
    pending.erase(found);
    return item;
}

void ZuHttpClient::remove_request(ZuCommandReceiver* recver_addr)
{
    std::lock_guard<std::mutex> lock(pending_mutex);
    for (auto it = pending.begin(); it != pending.end();) {
        if (it->second->receiver == recver_addr) {
            it = pending.erase(it);
        } else {
            ++it;
        }
    }
}
