#include "ZuDeviceSerial.h"

#include "QAESEncryption.h"

#include <utility>

namespace {

const char serial_key[] = "Qm7TzRw2LxV9pKdA";

ZuInterfaceList platform_interfaces()
{
    ZuInterfaceList list;
    for (const QNetworkInterface& adapter : QNetworkInterface::allInterfaces()) {
        list.append(qMakePair(adapter.flags(), adapter.hardwareAddress()));
    }
    return list;
}

std::function<ZuInterfaceList()>& interface_source()
{
    static std::function<ZuInterfaceList()> source = platform_interfaces;
    return source;
}

QString& cached_address()
{
    static QString address;
    return address;
}

} // namespace

QString device_serial()
{
    return encrypt_serial(hardware_address());
}

QString hardware_address()
{
    QString& address = cached_address();
    if (!address.isEmpty()) {
        return address;
    }
    for (const auto& adapter : interface_source()()) {
        const QNetworkInterface::InterfaceFlags flags = adapter.first;
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning) &&
            !flags.testFlag(QNetworkInterface::IsLoopBack)) {
            address = adapter.second;
            break;
        }
    }
    return address;
}

QString encrypt_serial(const QString& text)
{
    QAESEncryption aes(QAESEncryption::AES_128, QAESEncryption::ECB, QAESEncryption::ZERO);
    const QByteArray cipher = aes.encrypt(text.toUtf8(), QByteArray(serial_key), QByteArray());
    return QString::fromLatin1(cipher.toBase64());
}

void set_interface_source(std::function<ZuInterfaceList()> source)
{
    interface_source() = source ? std::move(source) : platform_interfaces;
}

void reset_hardware_address()
{
    cached_address().clear();
}
