#pragma once

#include <QByteArray>
#include <QObject>

#include <array>
#include <cstdint>

// AES encryption (FIPS-197) of whole messages. Only ECB is implemented: every other mode, a
// key_size or padding value outside the lists below, and a key whose length does not match the
// configured key size make encrypt() return an empty array, so a wrong configuration can never
// pass for a ciphertext.
class QAESEncryption : public QObject
{
    Q_OBJECT
public:
    enum KeySize
    {
        AES_128 = 0,
        AES_192 = 1,
        AES_256 = 2
    };
    enum Mode
    {
        ECB = 0,
        CBC = 1,
        CFB = 2,
        OFB = 3
    };
    enum Padding
    {
        ZERO = 0,
        PKCS7 = 1,
        ISO = 2
    };

    QAESEncryption(int key_size, int mode, int padding = ISO, QObject* parent = nullptr);

    // iv is ignored: ECB has none.
    QByteArray encrypt(const QByteArray& plain, const QByteArray& key, const QByteArray& iv);

private:
    using Block = std::array<std::uint8_t, 16>;

    bool is_usable(const QByteArray& key) const;
    QByteArray pad(const QByteArray& plain) const;
    QByteArray expand_key(const QByteArray& key) const;
    void encrypt_block(Block& state, const QByteArray& round_keys) const;

    const int m_nb = 4;
    const int m_block_len = 16;
    const int m_mode;
    int m_nk = 0;
    int m_key_len = 0;
    int m_nr = 0;
    const int m_padding;
};
