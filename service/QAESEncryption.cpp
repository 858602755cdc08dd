#include "QAESEncryption.h"

namespace {

const std::uint8_t sbox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16};

// Enough for the largest index any key size reaches (AES-128: 10).
const std::uint8_t rcon[10] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};

std::uint8_t xtime(std::uint8_t x)
{
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0x00));
}

} // namespace

QAESEncryption::QAESEncryption(int key_size, int mode, int padding, QObject* parent)
    : QObject(parent)
    , m_mode(mode)
    , m_padding(padding)
{
    switch (key_size) {
    case AES_128:
        m_nk = 4;
        m_nr = 10;
        break;
    case AES_192:
        m_nk = 6;
        m_nr = 12;
        break;
    case AES_256:
        m_nk = 8;
        m_nr = 14;
        break;
    default:
        break;
    }
    m_key_len = m_nk * 4;
}

QByteArray QAESEncryption::encrypt(const QByteArray& plain, const QByteArray& key, const QByteArray& iv)
{
    Q_UNUSED(iv)
    if (!is_usable(key)) {
        return QByteArray();
    }
    const QByteArray round_keys = expand_key(key);
    const QByteArray padded = pad(plain);
    QByteArray result;
    result.reserve(padded.size());
    for (int offset = 0; offset < padded.size(); offset += m_block_len) {
        Block state;
        for (int i = 0; i < m_block_len; ++i) {
            state[i] = static_cast<std::uint8_t>(padded[offset + i]);
        }
        encrypt_block(state, round_keys);
        result.append(reinterpret_cast<const char*>(state.data()), m_block_len);
    }
    return result;
}

bool QAESEncryption::is_usable(const QByteArray& key) const
{
    const bool known_padding = m_padding == ZERO || m_padding == PKCS7 || m_padding == ISO;
    return m_mode == ECB && known_padding && m_key_len > 0 && key.size() == m_key_len;
}

QByteArray QAESEncryption::pad(const QByteArray& plain) const
{
    const int remainder = plain.size() % m_block_len;
    QByteArray padded = plain;
    switch (m_padding) {
    case ZERO:
        if (remainder != 0) {
            padded.append(m_block_len - remainder, '\0');
        }
        break;
    case PKCS7: {
        const int count = m_block_len - remainder;
        padded.append(count, static_cast<char>(count));
        break;
    }
    case ISO:
        padded.append(static_cast<char>(0x80));
        padded.append(m_block_len - remainder - 1, '\0');
        break;
    default:
        break;
    }
    return padded;
}

QByteArray QAESEncryption::expand_key(const QByteArray& key) const
{
    const int words = m_nb * (m_nr + 1);
    QByteArray w(words * 4, '\0');
    auto* bytes = reinterpret_cast<std::uint8_t*>(w.data());
    for (int i = 0; i < m_key_len; ++i) {
        bytes[i] = static_cast<std::uint8_t>(key[i]);
    }
    for (int i = m_nk; i < words; ++i) {
        std::uint8_t temp[4];
        for (int j = 0; j < 4; ++j) {
            temp[j] = bytes[(i - 1) * 4 + j];
        }
        if (i % m_nk == 0) {
            const std::uint8_t first = temp[0];
            temp[0] = sbox[temp[1]] ^ rcon[i / m_nk - 1];
            temp[1] = sbox[temp[2]];
            temp[2] = sbox[temp[3]];
            temp[3] = sbox[first];
        } else if (m_nk > 6 && i % m_nk == 4) {
            for (std::uint8_t& b : temp) {
                b = sbox[b];
            }
        }
        for (int j = 0; j < 4; ++j) {
            bytes[i * 4 + j] = bytes[(i - m_nk) * 4 + j] ^ temp[j];
        }
    }
    return w;
}

void QAESEncryption::encrypt_block(Block& state, const QByteArray& round_keys) const
{
    const auto* rk = reinterpret_cast<const std::uint8_t*>(round_keys.constData());
    auto add_round_key = [&](int round) {
        for (int i = 0; i < m_block_len; ++i) {
            state[i] ^= rk[round * m_block_len + i];
        }
    };
    // The state is column-major: byte r of column c sits at index r + 4c.
    auto sub_bytes_shift_rows = [&]() {
        const Block in = state;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < m_nb; ++c) {
                state[r + 4 * c] = sbox[in[r + 4 * ((c + r) % m_nb)]];
            }
        }
    };
    auto mix_columns = [&]() {
        for (int c = 0; c < m_nb; ++c) {
            std::uint8_t* col = &state[4 * c];
            const std::uint8_t all = col[0] ^ col[1] ^ col[2] ^ col[3];
            const std::uint8_t first = col[0];
            col[0] ^= all ^ xtime(col[0] ^ col[1]);
            col[1] ^= all ^ xtime(col[1] ^ col[2]);
            col[2] ^= all ^ xtime(col[2] ^ col[3]);
            col[3] ^= all ^ xtime(col[3] ^ first);
        }
    };

    add_round_key(0);
    for (int round = 1; round < m_nr; ++round) {
        sub_bytes_shift_rows();
        mix_columns();
        add_round_key(round);
    }
    sub_bytes_shift_rows();
    add_round_key(m_nr);
}
