#pragma once
// Checking that an update package comes from us: every release publishes beside the package a
// detached Ed25519 signature in minisign's format (made by scripts/sign-release.sh), and the
// program verifies it against the public key compiled into it before the package is opened.
//
// Only minisign's prehashed signatures ("ED": the signature is over the BLAKE2b-512 digest of
// the file) are accepted, so a package is verified from the digest computed while it was
// written, never read back. The trusted comment is covered by the signature too.
// Stateless apart from the key that tests install; any thread.

#include <QByteArray>
#include <QString>

namespace UpdateSignature {

struct TPublicKey {
    QByteArray keyId;  // 8 bytes
    QByteArray key;    // 32 bytes (Ed25519)
};

// A minisign public key: the file's text ("untrusted comment: ..." then the base64 line) or the
// base64 line alone. False with `error` set when it is not one.
bool ParsePublicKey(const QByteArray& text, TPublicKey* key, QString* error);

// The key of this program's releases (compiled in), or the key a test installed.
TPublicKey TrustedKey();

// True when `signatureText` (a .minisig file) is a valid prehashed signature by `key` of the
// file whose BLAKE2b-512 digest is `blake2b512`, and its trusted comment is signed too. Sets
// `error` to the reason otherwise, and `trustedComment` to the signed comment on success.
bool Verify(const TPublicKey& key, const QByteArray& blake2b512, const QByteArray& signatureText, QString* error,
            QString* trustedComment = nullptr);

// The first word of a sha256sum-style line: 64 hexadecimal digits, as raw bytes; empty when the
// text does not start with one.
QByteArray ChecksumOf(const QByteArray& checksumText);

}  // namespace UpdateSignature

// Tests only: the key TrustedKey() returns instead of the release key while an instance lives.
class TUpdateKeyForTests {
public:
    explicit TUpdateKeyForTests(const UpdateSignature::TPublicKey& key);
    ~TUpdateKeyForTests();
    TUpdateKeyForTests(const TUpdateKeyForTests&) = delete;
    TUpdateKeyForTests& operator=(const TUpdateKeyForTests&) = delete;
};
