#include "online/UpdateSignature.h"

#include <QList>
#include <mutex>
#include <optional>
#include <sodium.h>

#include "online/ReleaseKey.h"

namespace UpdateSignature {

namespace {
std::mutex g_keyMutex;
std::optional<TPublicKey> g_testKey;

// The base64 line of a minisign file: the first line that is not a comment.
QByteArray dataLine(const QList<QByteArray>& lines, int index) {
    return index < lines.size() ? lines[index].trimmed() : QByteArray();
}

bool decode(const QByteArray& base64, int size, QByteArray* out) {
    const auto result = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.size() != size) return false;
    *out = result.decoded;
    return true;
}
}  // namespace

bool ParsePublicKey(const QByteArray& text, TPublicKey* key, QString* error) {
    QByteArray line;
    for (const QByteArray& l : text.split('\n')) {
        const QByteArray t = l.trimmed();
        if (!t.isEmpty() && !t.startsWith("untrusted comment:")) {
            line = t;
            break;
        }
    }
    QByteArray raw;
    if (!decode(line, 42, &raw) || !raw.startsWith("Ed")) {
        if (error) *error = QStringLiteral("Not a minisign public key");
        return false;
    }
    key->keyId = raw.mid(2, 8);
    key->key = raw.mid(10, 32);
    return true;
}

TPublicKey TrustedKey() {
    {
        std::lock_guard<std::mutex> lock(g_keyMutex);
        if (g_testKey) return *g_testKey;
    }
    TPublicKey key;
    ParsePublicKey(QByteArray(kReleasePublicKey), &key, nullptr);
    return key;
}

bool Verify(const TPublicKey& key, const QByteArray& blake2b512, const QByteArray& signatureText, QString* error,
            QString* trustedComment) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (sodium_init() < 0) return fail(QStringLiteral("The cryptographic library could not be started"));
    if (key.key.size() != crypto_sign_PUBLICKEYBYTES || key.keyId.size() != 8)
        return fail(QStringLiteral("No public key to check the signature with"));
    if (blake2b512.size() != 64) return fail(QStringLiteral("No digest of the package"));

    const QList<QByteArray> lines = signatureText.split('\n');
    if (lines.size() < 4 || !lines[0].startsWith("untrusted comment:"))
        return fail(QStringLiteral("The signature is not in minisign's format"));
    QByteArray sig;
    if (!decode(dataLine(lines, 1), 74, &sig)) return fail(QStringLiteral("The signature is not in minisign's format"));
    const QByteArray algorithm = sig.left(2);
    if (algorithm == "Ed") return fail(QStringLiteral("The signature is of the legacy kind, which is not accepted"));
    if (algorithm != "ED") return fail(QStringLiteral("The signature's algorithm is unknown"));
    if (sig.mid(2, 8) != key.keyId) return fail(QStringLiteral("The package is signed with another key"));
    const QByteArray signature = sig.mid(10, 64);
    const auto* pk = reinterpret_cast<const unsigned char*>(key.key.constData());
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.constData()),
                                    reinterpret_cast<const unsigned char*>(blake2b512.constData()), 64, pk) != 0)
        return fail(QStringLiteral("The signature does not match the package"));

    // The trusted comment is signed together with the signature above.
    QByteArray comment = lines[2];
    if (comment.endsWith('\r')) comment.chop(1);
    if (!comment.startsWith("trusted comment: ")) return fail(QStringLiteral("The signature has no trusted comment"));
    comment = comment.mid(int(sizeof("trusted comment: ") - 1));
    QByteArray global;
    if (!decode(dataLine(lines, 3), 64, &global)) return fail(QStringLiteral("The signature is not in minisign's format"));
    const QByteArray signedText = signature + comment;
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(global.constData()),
                                    reinterpret_cast<const unsigned char*>(signedText.constData()),
                                    static_cast<unsigned long long>(signedText.size()), pk) != 0)
        return fail(QStringLiteral("The signature's trusted comment has been changed"));
    if (trustedComment) *trustedComment = QString::fromUtf8(comment);
    return true;
}

QByteArray ChecksumOf(const QByteArray& checksumText) {
    const QByteArray hex = checksumText.trimmed().split(' ').value(0).split('\t').value(0).trimmed();
    if (hex.size() != 64) return QByteArray();
    for (const char c : hex)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return QByteArray();
    return QByteArray::fromHex(hex);
}

}  // namespace UpdateSignature

TUpdateKeyForTests::TUpdateKeyForTests(const UpdateSignature::TPublicKey& key) {
    std::lock_guard<std::mutex> lock(UpdateSignature::g_keyMutex);
    UpdateSignature::g_testKey = key;
}

TUpdateKeyForTests::~TUpdateKeyForTests() {
    std::lock_guard<std::mutex> lock(UpdateSignature::g_keyMutex);
    UpdateSignature::g_testKey.reset();
}
