#pragma once

#include <QString>

// The recorder-password cipher: AES-128-CBC with PKCS #7 padding over the password's UTF-8
// bytes and one terminating zero byte, stored as lowercase hexadecimal. Key and vector are
// fixed, so every part of the program that stores or reads a recorder password agrees.
class KPasswordCipher
{
public:
    // Never empty: even an empty password gives one block (32 hexadecimal characters).
    static QString encipher(const QString &password);
    // Empty for an empty text and for any text that does not decipher (not hexadecimal, bad
    // length, bad padding, no terminating zero, not UTF-8).
    static QString decipher(const QString &cipherText);
};
