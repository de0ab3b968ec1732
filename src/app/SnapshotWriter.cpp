#include "app/SnapshotWriter.h"

#include <jpeglib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryFile>
#include <QtEndian>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/SafeFiles.h"
#include "app/Utils.h"
#include "engine/library/Bitmap24.h"

namespace {
// libjpeg reports fatal errors through error_exit, which by default ends the process: jump back
// to the encoder instead.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

void jpegNoMessage(j_common_ptr) {}

// Encodes into a malloc'ed buffer owned by the caller; false on any encoder error. Kept free of
// C++ objects with destructors because of the longjmp.
bool encodeJpeg(const TBitmap24& frame, unsigned char** buffer, unsigned long* size) {
    jpeg_compress_struct cinfo;
    JpegErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegErrorExit;
    err.pub.output_message = jpegNoMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(frame.Width());
    cinfo.image_height = static_cast<JDIMENSION>(frame.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;  // the bitmap's byte order
    jpeg_set_defaults(&cinfo);           // YCbCr colour, baseline (not progressive)
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(frame.ScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

template <typename T>
void put(QByteArray& out, T value) {
    const T le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&le), sizeof le);
}
}  // namespace

bool TSnapshotWriter::PrepareFolder(const QString& folder) {
    if (folder.isEmpty()) return false;
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) return false;
    // Permission bits don't tell the whole story (root, read-only mounts, immutable folders):
    // try a real file.
    QTemporaryFile probe(JoinPath(folder, QStringLiteral(".vanto-snapshot-XXXXXX")));
    return probe.open();
}

TBitmap24 TSnapshotWriter::ToDisplaySize(const TBitmap24& frame, double aspectRatio) {
    if (frame.Empty() || aspectRatio <= 0) return frame;
    const int width = qMax(2, static_cast<int>(std::lround(frame.Height() * aspectRatio)) & ~1);
    if (std::abs(width - frame.Width()) <= 1) return frame;
    const QImage source(frame.Data(), frame.Width(), frame.Height(), frame.Stride(), QImage::Format_BGR888);
    const QImage scaled =
        source.scaled(width, frame.Height(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_BGR888);
    TBitmap24 out(scaled.width(), scaled.height());
    for (int y = 0; y < out.Height(); ++y)
        std::memcpy(out.ScanLine(y), scaled.constScanLine(y), static_cast<size_t>(out.Width()) * 3);
    return out;
}

QByteArray TSnapshotWriter::EncodeJpeg(const TBitmap24& frame) {
    if (frame.Empty()) return {};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = encodeJpeg(frame, &buffer, &size);
    QByteArray data =
        ok ? QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size)) : QByteArray();
    std::free(buffer);
    return data;
}

QByteArray TSnapshotWriter::EncodeBmp(const TBitmap24& frame) {
    if (frame.Empty()) return {};
    // The bitmap's rows already have the BMP layout (B, G, R, padded to 4 bytes); BMP stores
    // them bottom-up.
    const quint32 imageSize = static_cast<quint32>(frame.Stride()) * static_cast<quint32>(frame.Height());
    const quint32 headers = 14 + 40;
    QByteArray out;
    out.reserve(static_cast<qsizetype>(headers + imageSize));
    out.append("BM", 2);
    put<quint32>(out, headers + imageSize);
    put<quint32>(out, 0);
    put<quint32>(out, headers);
    put<quint32>(out, 40);
    put<qint32>(out, frame.Width());
    put<qint32>(out, frame.Height());
    put<quint16>(out, 1);   // planes
    put<quint16>(out, 24);  // bits per pixel
    put<quint32>(out, 0);   // no compression
    put<quint32>(out, imageSize);
    put<qint32>(out, 2835);  // 72 dpi
    put<qint32>(out, 2835);
    put<quint32>(out, 0);
    put<quint32>(out, 0);
    for (int y = frame.Height() - 1; y >= 0; --y)
        out.append(reinterpret_cast<const char*>(frame.ScanLine(y)), frame.Stride());
    return out;
}

QString TSnapshotWriter::Save(const TBitmap24& frame, const QString& folder, const QString& sourceFile,
                              int format, int& counter, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return QString();
    };
    const QString extension = format != sfJpeg ? QStringLiteral(".bmp") : QStringLiteral(".jpg");
    const QString base = JoinPath(folder, QFileInfo(sourceFile).fileName()) + QLatin1Char('_');
    ++counter;  // a snapshot uses its number even when it fails
    const QByteArray data = format != sfJpeg ? EncodeBmp(frame) : EncodeJpeg(frame);
    if (data.isEmpty()) return fail(QStringLiteral("no picture to save"));
    // The name is taken by creating the file exclusively: a number whose name exists (a file,
    // or a link even to nothing) is skipped, also one that appears while the number is chosen,
    // and nothing that is there is ever opened or replaced.
    QFile file;
    QString path;
    for (int tries = 0;; ++tries, ++counter) {
        path = base + QString::number(counter) + extension;
        file.setFileName(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) break;
        if (!SafeFiles::EntryExists(path) || tries > 10000) return fail(file.errorString());
    }
    if (file.write(data) != data.size() || !file.flush()) {
        const QString why = file.errorString();
        file.close();
        file.remove();
        return fail(why);
    }
    return path;
}
