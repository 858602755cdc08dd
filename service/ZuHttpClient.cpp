#include "ZuHttpClient.h"

#include "KestruneConfig.h"
#include "QZuHttpCookie.h"
#include "ZuCommandReceiver.h"
#include "ZuDataBus.h"
#include "ZuDeviceSerial.h"
#include "ZuLocalDb.h"
#include "ZuMusicKeynoteMetaType.h"
#include "ZuRequestItem.h"
#include "zudata.pb.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTimer>
#include <QUrl>
#include <zlib.h>

namespace {

const char* const serial_header = "Serial-Num";

// The system's authorities. As for every OpenSSL program, SSL_CERT_FILE names a bundle and
// SSL_CERT_DIR directories of certificates under their hashed names (as c_rehash makes them), each
// in place of its default location, which Qt alone ignores; with neither set, the platform's
// store as Qt reads it.
QList<QSslCertificate> system_authorities()
{
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QStringList dirs =
        qEnvironmentVariable("SSL_CERT_DIR").split(QDir::listSeparator(), Qt::SkipEmptyParts);
    QList<QSslCertificate> authorities;
    if (file.isEmpty() || dirs.isEmpty()) {
        // Reading it is slow, and it does not change while we run.
        static const QList<QSslCertificate> platform_store = QSslConfiguration::systemCaCertificates();
        authorities = platform_store;
    }
    if (!file.isEmpty()) {
        authorities += QSslCertificate::fromPath(file, QSsl::Pem);
    }
    const QRegularExpression hashed_name(QStringLiteral("^[0-9a-f]{8}\\.[0-9]+$"));
    for (const QString& dir : dirs) {
        for (const QFileInfo& entry : QDir(dir).entryInfoList(QDir::Files)) {
            if (hashed_name.match(entry.fileName()).hasMatch()) {
                authorities += QSslCertificate::fromPath(entry.filePath(), QSsl::Pem);
            }
        }
    }
    return authorities;
}

QSslConfiguration make_tls_configuration()
{
    // Setting any authorities switches off Qt's loading of the system's on demand, so they are
    // all listed here: the system's, plus those of KESTRUNE_CA_FILE for a self-hosted service.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    QList<QSslCertificate> authorities = system_authorities();
    const QString ca_file = qEnvironmentVariable("KESTRUNE_CA_FILE");
    if (!ca_file.isEmpty()) {
        authorities += QSslCertificate::fromPath(ca_file, QSsl::Pem);
    }
    tls.setCaCertificates(authorities);
    return tls;
}

// Failures of the exchange itself; whatever the peer may have sent is not trusted, not even
// its cookies. A cancelled reply is one abandoned for its deadline or its size.
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

// Inflates a gzip or zlib stream, refusing output past the reply cap; false when the data is
// corrupt, cut short or too large.
bool inflate_bounded(const QByteArray& packed, QByteArray* out)
{
    z_stream stream{};
    // 32 added to the window bits detects a gzip or zlib header.
    if (inflateInit2(&stream, MAX_WBITS + 32) != Z_OK) {
        return false;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    stream.avail_in = static_cast<uInt>(packed.size());
    QByteArray inflated;
    char chunk[64 * 1024];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof(chunk);
        status = inflate(&stream, Z_NO_FLUSH);
        const int produced = static_cast<int>(sizeof(chunk) - stream.avail_out);
        if (inflated.size() + produced > ZuHttpClient::max_reply_size) {
            status = Z_MEM_ERROR;
            break;
        }
        inflated.append(chunk, produced);
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return false;
    }
    *out = inflated;
    return true;
}

// The service's own compression: a zlib stream inflated into the announced length; a missing,
// wrong or too large length, or corrupt data, leave the body as it came.
QByteArray unzipped_body(const QByteArray& unzip_length, const QByteArray& body)
{
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

// The body as the service meant it. False when an HTTP content encoding does not inflate within
// the cap: such a reply says nothing usable.
bool unpacked_body(const QByteArray& content_encoding, const QByteArray& unzip_length, const QByteArray& body,
                   QByteArray* out)
{
    const QByteArray encoding = content_encoding.trimmed().toLower();
    if (encoding == "zlib") {
        *out = unzipped_body(unzip_length, body);
        return true;
    }
    if (encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate") {
        return inflate_bounded(body, out);
    }
    *out = body;
    return true;
}

// A success status, or an error status with a body (the service answers refusals with 4xx and
// 5xx and its ZuRespond). Redirects are not followed, and their bodies are not the service's.
bool may_carry_answer(int status, const QByteArray& body)
{
    if (status >= 200 && status <= 299) {
        return true;
    }
    return status >= 400 && status <= 599 && !body.isEmpty();
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
    if (reply == nullptr) {
        return false;
    }
    watch(reply);
    return true;
}

void ZuHttpClient::watch(QNetworkReply* reply)
{
    // Aborting finishes the reply at once, with OperationCanceledError: a network failure.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
    deadline->start(request_deadline_ms);
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > max_reply_size) {
            reply->abort();
        }
    });
    // Given a read buffer, Qt's network thread reads no further ahead than its size until the reply
    // has been emptied, so a flood stops close to the cap. Qt takes the request up on its next turn
    // of the event loop and drops a size set before that; this call is queued behind it.
    QMetaObject::invokeMethod(
        reply, [reply] { reply->setReadBufferSize(read_ahead_size); }, Qt::QueuedConnection);

    auto body = std::make_shared<QByteArray>();
    const auto take_body = [reply, body] {
        // An aborted reply is closed, and what it had is not wanted.
        if (reply->isOpen()) {
            body->append(reply->readAll());
        }
    };
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body, take_body] {
        take_body();
        if (body->size() > max_reply_size) {
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, take_body] {
        // The last bytes and the end may arrive together, without a readyRead of their own.
        take_body();
        reply_finish(reply, *body);
    });
}

QNetworkRequest ZuHttpClient::build_request(const QString& path, const std::string& serial) const
{
    QNetworkRequest request(QUrl(base_url + path, QUrl::TolerantMode));
    request.setSslConfiguration(tls);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("User-Agent", "ZuKestrune/emusic/" KESTRUNE_VERSION);
    request.setRawHeader("Accept", "application/protobuf");
    request.setRawHeader("Content-Type", "application/protobuf");
    // Named here, so that Qt leaves the inflating to us and its cap.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    request.setRawHeader("Connection", "close");
    request.setRawHeader(serial_header, QByteArray::fromStdString(serial));
    request.setRawHeader("Session-Id", device_serial().toUtf8());
    return request;
}

void ZuHttpClient::reply_finish(QNetworkReply* reply, const QByteArray& received)
{
    reply->deleteLater();
    const QNetworkReply::NetworkError error = reply->error();
    const std::string serial = reply->request().rawHeader(serial_header).toStdString();
    if (is_network_failure(error)) {
        deliver_failure(serial);
        return;
    }

    if (received.size() > max_reply_size) {
        deliver_failure(serial);
        return;
    }

    // Saved before the answer is decoded, so a receiver already sees them stored.
    cookie_jar->save_all();
    zudata::ZuRespond respond;
    if (!decode_reply(reply->rawHeader("Content-Encoding"), reply->rawHeader("Content-unzipLength"), received,
                      reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), respond)) {
        deliver_failure(serial);
        return;
    }
    if (const auto item = take_pending(serial)) {
        item->notify(&respond);
    }
}

bool ZuHttpClient::decode_reply(const QByteArray& content_encoding, const QByteArray& unzip_length,
                                const QByteArray& body, int http_status, zudata::ZuRespond& respond)
{
    QByteArray unpacked;
    // An error page, a redirect, a truncated body or an error without any body says nothing the
    // receiver could use; it still gets its one answer.
    return unpacked_body(content_encoding, unzip_length, body, &unpacked) &&
           may_carry_answer(http_status, unpacked) &&
           respond.ParseFromArray(unpacked.constData(), unpacked.size());
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
