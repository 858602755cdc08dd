#include "QAESEncryption.h"

#include <gtest/gtest.h>

namespace {

const QByteArray fips_plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
const QByteArray key_128 = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
const QByteArray key_192 = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f1011121314151617");
const QByteArray key_256 =
    QByteArray::fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");

QByteArray ecb(int key_size, int padding, const QByteArray& plain, const QByteArray& key)
{
    QAESEncryption aes(key_size, QAESEncryption::ECB, padding);
    return aes.encrypt(plain, key, QByteArray());
}

} // namespace

TEST(QAESEncryptionTest, MatchesFipsExampleVectorsForAllKeySizes)
{
    EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, fips_plain, key_128).toHex(),
              "69c4e0d86a7b0430d8cdb78070b4c55a");
    EXPECT_EQ(ecb(QAESEncryption::AES_192, QAESEncryption::ZERO, fips_plain, key_192).toHex(),
              "dda97ca4864cdfe06eaf70a0ec0d7191");
    EXPECT_EQ(ecb(QAESEncryption::AES_256, QAESEncryption::ZERO, fips_plain, key_256).toHex(),
              "8ea2b7ca516745bfeafc49904b496089");
}

TEST(QAESEncryptionTest, EncryptsEveryBlockOnItsOwn)
{
    // NIST SP 800-38A, F.1.1: four blocks under one AES-128 key.
    const QByteArray key = QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c");
    const QByteArray plain = QByteArray::fromHex("6bc1bee22e409f96e93d7e117393172a"
                                                 "ae2d8a571e03ac9c9eb76fac45af8e51"
                                                 "30c81c46a35ce411e5fbc1191a0a52ef"
                                                 "f69f2445df4f9b17ad2b417be66c3710");
    EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, plain, key).toHex(),
              "3ad77bb40d7a3660a89ecaf32466ef97"
              "f5d3d58503b9699de785895a96fdbaaf"
              "43b1cd7f598ece23881b00e3ed030688"
              "7b0c785e27e8ad3f8223207104725dd4");
}

TEST(QAESEncryptionTest, PaddingLengthsFollowEachScheme)
{
    for (int n = 0; n <= 33; ++n) {
        const QByteArray plain(n, 'x');
        const int zero = (n + 15) / 16 * 16;
        const int full = (n / 16 + 1) * 16;
        EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, plain, key_128).size(), zero) << n;
        EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::PKCS7, plain, key_128).size(), full) << n;
        EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::ISO, plain, key_128).size(), full) << n;
    }
}

TEST(QAESEncryptionTest, PaddingBytesFollowEachScheme)
{
    // Each padded message must encrypt like the same bytes padded by hand.
    const QByteArray plain("abcde");
    const QByteArray pkcs7 = plain + QByteArray(11, '\x0b');
    const QByteArray iso = plain + QByteArray(1, '\x80') + QByteArray(10, '\0');
    const QByteArray zero = plain + QByteArray(11, '\0');
    EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::PKCS7, plain, key_128),
              ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, pkcs7, key_128));
    EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::ISO, plain, key_128),
              ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, iso, key_128));
    EXPECT_EQ(ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, plain, key_128),
              ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, zero, key_128));

    const QByteArray block_pkcs7 = fips_plain + QByteArray(16, '\x10');
    const QByteArray block_iso = fips_plain + QByteArray(1, '\x80') + QByteArray(15, '\0');
    EXPECT_EQ(ecb(QAESEncryption::AES_256, QAESEncryption::PKCS7, fips_plain, key_256),
              ecb(QAESEncryption::AES_256, QAESEncryption::ZERO, block_pkcs7, key_256));
    EXPECT_EQ(ecb(QAESEncryption::AES_192, QAESEncryption::ISO, fips_plain, key_192),
              ecb(QAESEncryption::AES_192, QAESEncryption::ZERO, block_iso, key_192));
}

TEST(QAESEncryptionTest, ModesOtherThanEcbGiveEmptyResult)
{
    const QByteArray iv(16, '\0');
    for (int mode : {QAESEncryption::CBC, QAESEncryption::CFB, QAESEncryption::OFB}) {
        QAESEncryption aes(QAESEncryption::AES_128, mode, QAESEncryption::ZERO);
        EXPECT_TRUE(aes.encrypt(fips_plain, key_128, iv).isEmpty()) << mode;
    }
}

TEST(QAESEncryptionTest, KeyOfWrongLengthGivesEmptyResult)
{
    EXPECT_TRUE(ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, fips_plain, key_128.left(15)).isEmpty());
    EXPECT_TRUE(ecb(QAESEncryption::AES_128, QAESEncryption::ZERO, fips_plain, key_192).isEmpty());
    EXPECT_TRUE(ecb(QAESEncryption::AES_192, QAESEncryption::ZERO, fips_plain, key_128).isEmpty());
    EXPECT_TRUE(ecb(QAESEncryption::AES_256, QAESEncryption::ZERO, fips_plain, key_192).isEmpty());
    EXPECT_TRUE(ecb(QAESEncryption::AES_256, QAESEncryption::ZERO, fips_plain, QByteArray()).isEmpty());
}

TEST(QAESEncryptionTest, UnknownConfigurationGivesEmptyResult)
{
    EXPECT_TRUE(ecb(3, QAESEncryption::ZERO, fips_plain, key_256).isEmpty());
    EXPECT_TRUE(ecb(-1, QAESEncryption::ZERO, fips_plain, QByteArray()).isEmpty());
    EXPECT_TRUE(ecb(QAESEncryption::AES_128, 3, fips_plain, key_128).isEmpty());
    QAESEncryption unknown_mode(QAESEncryption::AES_128, 4, QAESEncryption::ZERO);
    EXPECT_TRUE(unknown_mode.encrypt(fips_plain, key_128, QByteArray()).isEmpty());
}
