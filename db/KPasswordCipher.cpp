#include "KPasswordCipher.h"

#include <QTextCodec>

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

constexpr unsigned char keyByte = 0x5b;
constexpr unsigned char ivByte = 0xc3;
constexpr int blockSize = CryptoPP::AES::BLOCKSIZE;

struct KeyMaterial
{
    CryptoPP::byte key[CryptoPP::AES::DEFAULT_KEYLENGTH];
    CryptoPP::byte iv[blockSize];

    KeyMaterial()
    {
        std::fill(std::begin(key), std::end(key), keyByte);
        std::fill(std::begin(iv), std::end(iv), ivByte);
    }
};

bool isHexText(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool digit = u >= '0' && u <= '9';
        const bool lower = u >= 'a' && u <= 'f';
        const bool upper = u >= 'A' && u <= 'F';
        if (!digit && !lower && !upper)
            return false;
    }
    return true;
}

} // namespace

QString KPasswordCipher::encipher(const QString &password)
{
    const KeyMaterial material;
    std::string plain = password.toUtf8().toStdString();
    plain.push_back('\0');

    std::string cipher;
    CryptoPP::CBC_Mode<CryptoPP::AES>::Encryption encryption;
    encryption.SetKeyWithIV(material.key, sizeof(material.key), material.iv, sizeof(material.iv));
    CryptoPP::StringSource source(
        plain, true,
        new CryptoPP::StreamTransformationFilter(encryption, new CryptoPP::StringSink(cipher)));

    const QByteArray bytes(cipher.data(), int(cipher.size()));
    return QString::fromLatin1(bytes.toHex());
}

QString KPasswordCipher::decipher(const QString &cipherText)
{
    // QByteArray::fromHex skips foreign characters silently, so check the text first.
    if (cipherText.isEmpty() || cipherText.size() % (2 * blockSize) != 0 || !isHexText(cipherText))
        return QString();

    const QByteArray cipher = QByteArray::fromHex(cipherText.toLatin1());
    const KeyMaterial material;
    std::string plain;
    try {
        CryptoPP::CBC_Mode<CryptoPP::AES>::Decryption decryption;
        decryption.SetKeyWithIV(material.key, sizeof(material.key), material.iv,
                                sizeof(material.iv));
        CryptoPP::StringSource source(
            reinterpret_cast<const CryptoPP::byte *>(cipher.constData()), size_t(cipher.size()),
            true,
            new CryptoPP::StreamTransformationFilter(decryption, new CryptoPP::StringSink(plain)));
    } catch (const CryptoPP::Exception &) {
        return QString();
    }

    // A text enciphered here always carries its zero byte; without one the key was different.
    const std::string::size_type end = plain.find('\0');
    if (end == std::string::npos)
        return QString();

    QTextCodec::ConverterState state;
    QTextCodec *utf8 = QTextCodec::codecForName("UTF-8");
    const QString text = utf8->toUnicode(plain.data(), int(end), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return QString();
    return text;
}
