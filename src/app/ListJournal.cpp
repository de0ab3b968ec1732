#include "app/ListJournal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/CommEntity.h"
#include "app/SafeFiles.h"
#include "app/Utils.h"
#include "profiles/ParaInfo.h"

namespace {
constexpr int kVersion = 1;

// A field added to the parameter records must be journaled below too, or a restored row would
// silently lose it.
static_assert(sizeof(TEncParam) == 200, "journal every field of TEncParam");
static_assert(sizeof(TFormatInfo) == 536, "journal every field of TFormatInfo");
static_assert(sizeof(ListFileInfo) == 432, "journal every field of ListFileInfo");

QJsonObject paramsToJson(const TFormatInfo& f) {
    const TEncParam& e = f.EncParam;
    return QJsonObject{
        {"ID", f.ID},
        {"Format", f.Format},
        {"FourCC", f.FourCC},
        {"Icon", f.Icon},
        {"Categoryid", f.Categoryid},
        {"Name", f.Name},
        {"Description", f.Description},
        {"Resolution", f.Resolution},
        {"FrameRate", f.FrameRate},
        {"VideoBitrate", f.VideoBitrate},
        {"AudioBitrate", f.AudioBitrate},
        {"SampleRate", f.SampleRate},
        {"Channel", f.Channel},
        {"VideoEnclist", f.VideoEnclist},
        {"AudioEncList", f.AudioEncList},
        {"Enc", QJsonObject{{"Width", e.Width},
                            {"Height", e.Height},
                            {"VideoBitrate", e.VideoBitrate},
                            {"FrameRate", e.FrameRate},
                            {"SampleRate", e.SampleRate},
                            {"AudioBitrate", e.AudioBitrate},
                            {"Channels", e.Channels},
                            {"Interpolation", e.Interpolation},
                            {"ResizeStyle", e.ResizeStyle},
                            {"Zoom", e.Zoom},
                            {"VideoEncoder", e.VideoEncoder},
                            {"AudioEncoder", e.AudioEncoder},
                            {"KeepPixelFormat", e.KeepPixelFormat},
                            {"VideoProfile", e.VideoProfile},
                            {"VideoLevel", e.VideoLevel},
                            {"PixelFormat", e.PixelFormat},
                            {"Quality", e.Quality},
                            {"FitSize", QString::number(e.FitSize)},
                            {"IsSplite", e.IsSplite},
                            {"SpliteSize", e.SpliteSize},
                            {"SpliteTime", e.SpliteTime}}},
    };
}

std::unique_ptr<TFormatInfo> paramsFromJson(const QJsonObject& o) {
    auto f = std::make_unique<TFormatInfo>();
    f->ID = o["ID"].toInt();
    f->Format = o["Format"].toString();
    f->FourCC = o["FourCC"].toString();
    f->Icon = o["Icon"].toString();
    f->Categoryid = o["Categoryid"].toInt();
    f->Name = o["Name"].toString();
    f->Description = o["Description"].toString();
    f->Resolution = o["Resolution"].toString();
    f->FrameRate = o["FrameRate"].toString();
    f->VideoBitrate = o["VideoBitrate"].toString();
    f->AudioBitrate = o["AudioBitrate"].toString();
    f->SampleRate = o["SampleRate"].toString();
    f->Channel = o["Channel"].toString();
    f->VideoEnclist = o["VideoEnclist"].toString();
    f->AudioEncList = o["AudioEncList"].toString();
    const QJsonObject e = o["Enc"].toObject();
    TEncParam& p = f->EncParam;
    p.Width = e["Width"].toInt();
    p.Height = e["Height"].toInt();
    p.VideoBitrate = e["VideoBitrate"].toInt();
    p.FrameRate = e["FrameRate"].toInt();
    p.SampleRate = e["SampleRate"].toInt();
    p.AudioBitrate = e["AudioBitrate"].toInt();
    p.Channels = e["Channels"].toInt(1);
    p.Interpolation = e["Interpolation"].toInt();
    p.ResizeStyle = e["ResizeStyle"].toInt();
    p.Zoom = e["Zoom"].toInt(1);
    p.VideoEncoder = e["VideoEncoder"].toString();
    p.AudioEncoder = e["AudioEncoder"].toString();
    p.KeepPixelFormat = e["KeepPixelFormat"].toBool();
    // These become encoder options: plain names only, as from the parameter file.
    p.VideoProfile = PlainOptionValue(e["VideoProfile"].toString());
    p.VideoLevel = PlainOptionValue(e["VideoLevel"].toString());
    p.PixelFormat = PlainOptionValue(e["PixelFormat"].toString());
    p.Quality = e["Quality"].toInt(-1);
    p.FitSize = std::max<qint64>(0, e["FitSize"].toString().toLongLong());
    p.IsSplite = e["IsSplite"].toBool();
    p.SpliteSize = e["SpliteSize"].toInt(-1);
    p.SpliteTime = e["SpliteTime"].toInt(-1);
    return f;
}

// 64-bit numbers travel as text: a JSON number is a double and would round microseconds of
// long files.
QString big(qint64 v) {
    return QString::number(v);
}
qint64 bigOf(const QJsonValue& v, qint64 fallback = 0) {
    bool ok = false;
    const qint64 n = v.toString().toLongLong(&ok);
    return ok ? n : fallback;
}

QJsonObject entryToJson(const ListFileInfo& e) {
    return QJsonObject{
        {"FileName", e.FileName},
        {"FileSize", big(e.FileSize)},
        {"FileDurTime", big(e.FileDurTime)},
        {"BitRate", e.BitRate},
        {"Width", e.Width},
        {"Height", e.Height},
        {"FrameRate", e.FrameRate},
        {"FileFormat", e.FileFormat},
        {"OutPutFileName", e.OutPutFileName},
        {"ProfileName", e.ProfileName},
        {"SampleRate", e.SampleRate},
        {"Channel", e.Channel},
        {"AudioBitRate", e.AudioBitRate},
        {"FileInfo", e.FileInfo},
        {"NormType", e.NormType},
        {"StartTime", big(e.StartTime)},
        {"EndTime", big(e.EndTime)},
        {"VWidth", e.VWidth},
        {"VHeight", e.VHeight},
        {"CategoryTag", e.CategoryTag},
        {"YoutubeVideId", e.YoutubeVideId},
        {"YoutubeThumbnailUrl", e.YoutubeThumbnailUrl},
        {"YoutubeLength", e.YoutubeLength},
        {"YoutubeVideoUrl", e.YoutubeVideoUrl},
        {"YoutubeUrl", e.YoutubeUrl},
        {"YoutubeTitle", e.YoutubeTitle},
        {"YoutubeFlvUrl", e.YoutubeFlvUrl},
        {"YoutubeMp4Url", e.YoutubeMp4Url},
        {"HadDownloaded", e.HadDownloaded},
        {"IsYutubeFile", e.IsYutubeFile},
        {"HasData", e.HasData},
        {"HasVideo", e.HasVideo},
    };
}

std::unique_ptr<ListFileInfo> entryFromJson(const QJsonObject& o) {
    auto e = std::make_unique<ListFileInfo>();
    e->FileName = o["FileName"].toString();
    e->FileSize = bigOf(o["FileSize"]);
    e->FileDurTime = bigOf(o["FileDurTime"]);
    e->BitRate = o["BitRate"].toInt();
    e->Width = o["Width"].toInt();
    e->Height = o["Height"].toInt();
    e->FrameRate = o["FrameRate"].toInt();
    e->FileFormat = o["FileFormat"].toString();
    e->OutPutFileName = o["OutPutFileName"].toString();
    e->ProfileName = o["ProfileName"].toString();
    e->SampleRate = o["SampleRate"].toInt();
    e->Channel = o["Channel"].toInt();
    e->AudioBitRate = o["AudioBitRate"].toInt();
    e->FileInfo = o["FileInfo"].toString();
    e->NormType = o["NormType"].toInt();
    e->StartTime = bigOf(o["StartTime"]);
    e->EndTime = bigOf(o["EndTime"]);
    e->VWidth = o["VWidth"].toInt();
    e->VHeight = o["VHeight"].toInt();
    e->CategoryTag = o["CategoryTag"].toString();
    e->YoutubeVideId = o["YoutubeVideId"].toString();
    e->YoutubeThumbnailUrl = o["YoutubeThumbnailUrl"].toString();
    e->YoutubeLength = o["YoutubeLength"].toString();
    e->YoutubeVideoUrl = o["YoutubeVideoUrl"].toString();
    e->YoutubeUrl = o["YoutubeUrl"].toString();
    e->YoutubeTitle = o["YoutubeTitle"].toString();
    e->YoutubeFlvUrl = o["YoutubeFlvUrl"].toString();
    e->YoutubeMp4Url = o["YoutubeMp4Url"].toString();
    e->HadDownloaded = o["HadDownloaded"].toBool();
    e->IsYutubeFile = o["IsYutubeFile"].toBool();
    e->HasData = o["HasData"].toBool();
    e->HasVideo = o["HasVideo"].toBool();
    return e;
}
}  // namespace

QString TListJournal::DefaultFile() {
    return GetAppDataFolder() + QStringLiteral("listjournal.json");
}

TListJournal::TListJournal(QString file, TJournalSource source, QObject* parent)
    : QObject(parent), file_(std::move(file)), source_(std::move(source)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TListJournal::copyStep);
    sliceTimer_.setSingleShot(true);
    sliceTimer_.setInterval(0);
    connect(&sliceTimer_, &QTimer::timeout, this, &TListJournal::copyStep);
}

TListJournal::~TListJournal() {
    if (!writer_.joinable()) return;
    {
        // What was handed over is still written: it is the list as the user left it.
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    writer_.join();
}

bool TListJournal::Acquire() {
    if (acquired_) return true;
    lock_ = std::make_unique<QLockFile>(file_ + QStringLiteral(".lock"));
    // A lock left by a process that no longer runs is taken over at once.
    lock_->setStaleLockTime(0);
    acquired_ = lock_->tryLock(0);
    if (!acquired_)
        lock_.reset();
    else
        readPrevious();
    return acquired_;
}

void TListJournal::readPrevious() {
    previous_ = Previous{};
    QFile file(file_);
    if (!file.exists()) return;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        file.close();
        if (bytes.trimmed().isEmpty()) return;
        if (DecodeList(bytes, previous_.content, &previous_.error)) {
            previous_.state = previous_.content.rows.empty() ? State::Empty : State::HasRows;
            return;
        }
    } else {
        previous_.error = file.errorString();
    }
    // Never trusted, never deleted: moved aside under a name of its own.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString target = file_ + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; SafeFiles::EntryExists(target); ++n)
        target = file_ + QStringLiteral(".unreadable-") + stamp + QLatin1Char('-') + QString::number(n);
    QString moveError;
    if (SafeFiles::MoveNoReplace(file_, target, &moveError) == SafeFiles::MoveResult::Moved)
        previous_.setAside = target;
    previous_.content = TJournalContent{};
    previous_.state = State::Unreadable;
}

void TListJournal::Changed() {
    if (!acquired_ || closed_) return;
    if (!pending_) pendingSince_.start();
    pending_ = true;
    // A copy under way no longer matches the list: it starts again once the list rests.
    abandonCopy();
    // The first change starts the interval and later ones ride along, so a burst of changes
    // costs one write per interval.
    if (!held_ && !timer_.isActive()) timer_.start();
}

void TListJournal::abandonCopy() {
    copying_ = false;
    partial_ = TJournalContent{};
    sliceTimer_.stop();
}

void TListJournal::copyStep() {
    if (!pending_ || held_ || closed_) return;
    const bool overdue = pendingSince_.isValid() && pendingSince_.elapsed() >= kMostDelayMs;
    if (!copySome(overdue ? -1 : kSliceMs)) sliceTimer_.start();
}

bool TListJournal::copySome(int sliceMs) {
    QElapsedTimer slice;
    slice.start();
    if (!copying_) {
        partial_ = source_.list ? source_.list() : TJournalContent{};
        partial_.rows.clear();
        nextRow_ = 0;
        copying_ = true;
    }
    const int count = source_.rowCount ? source_.rowCount() : 0;
    partial_.rows.reserve(size_t(count));
    while (nextRow_ < count) {
        source_.row(nextRow_++, partial_.rows);
        if (sliceMs >= 0 && nextRow_ % 128 == 0 && slice.elapsed() >= sliceMs) return false;
    }
    copying_ = false;
    pending_ = false;
    timer_.stop();
    sliceTimer_.stop();
    post(std::move(partial_));
    partial_ = TJournalContent{};
    return true;
}

void TListJournal::Flush() {
    timer_.stop();
    if (!pending_ || held_ || closed_) return;
    copySome(-1);
    waitForWriter();
}

void TListJournal::Settle() {
    timer_.stop();
    // Only events that are not the user's run in between: the list rarely changes meanwhile.
    while (pending_ && !held_ && !closed_) {
        if (copySome(kSliceMs)) break;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void TListJournal::Hold() {
    if (pending_ && !held_ && !closed_) copySome(-1);
    held_ = true;
    sliceTimer_.stop();
}

void TListJournal::Release() {
    held_ = false;
    if (pending_ && !closed_) timer_.start();
}

void TListJournal::CloseCleanly() {
    if (!acquired_ || closed_) return;
    timer_.stop();
    abandonCopy();
    pending_ = false;
    post(std::nullopt);
    waitForWriter();
    closed_ = true;
}

void TListJournal::Discard() {
    if (!acquired_ || closed_) return;
    timer_.stop();
    abandonCopy();
    pending_ = false;
    post(std::nullopt);
    waitForWriter();
}

int TListJournal::Writes() {
    waitForWriter();
    std::lock_guard lock(mutex_);
    return writes_;
}

QString TListJournal::LastError() {
    waitForWriter();
    std::lock_guard lock(mutex_);
    return lastError_;
}

void TListJournal::post(std::optional<TJournalContent> list) {
    if (!acquired_) return;
    {
        std::lock_guard lock(mutex_);
        next_ = std::move(list);
        hasNext_ = true;
        if (!writer_.joinable()) writer_ = std::thread([this] { writerLoop(); });
    }
    wake_.notify_all();
}

void TListJournal::waitForWriter() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !hasNext_ && !writing_; });
}

void TListJournal::writerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return hasNext_ || stop_; });
        if (!hasNext_) return;  // stopping with nothing left to write
        std::optional<TJournalContent> list = std::move(next_);
        next_.reset();
        hasNext_ = false;
        writing_ = true;
        lock.unlock();
        const QByteArray bytes = list ? EncodeList(*list) : QByteArray();
        list.reset();  // the copies are freed here, off the user-interface thread
        QString error;
        const bool ok = SafeFiles::WriteAtomically(file_, bytes, &error);
        lock.lock();
        if (ok)
            ++writes_;
        else
            lastError_ = error;
        writing_ = false;
        wake_.notify_all();
    }
}

QByteArray TListJournal::EncodeList(const TJournalContent& content) {
    // Rows mostly share one parameter set; each distinct set is written once.
    QJsonArray params;
    QHash<QByteArray, int> paramIndex;
    QJsonArray rowArray;
    for (const TJournalRow& row : content.rows) {
        if (!row.entry) continue;
        QJsonObject r = entryToJson(*row.entry);
        int index = -1;
        if (row.entry->formatInfo) {
            const QJsonObject p = paramsToJson(*row.entry->formatInfo);
            const QByteArray key = QJsonDocument(p).toJson(QJsonDocument::Compact);
            auto it = paramIndex.find(key);
            if (it == paramIndex.end()) {
                it = paramIndex.insert(key, int(params.size()));
                params.append(p);
            }
            index = it.value();
        }
        r["params"] = index;
        r["caption"] = row.caption;
        r["output"] = row.output;
        r["checked"] = row.checked;
        if (row.converting) r["converting"] = true;
        if (row.sourceSize >= 0 && row.sourceMtime >= 0) {
            r["sourceSize"] = big(row.sourceSize);
            r["sourceMtime"] = big(row.sourceMtime);
        } else if (const QFileInfo source(row.entry->FileName); !row.entry->IsYutubeFile && source.exists()) {
            r["sourceSize"] = big(source.size());
            r["sourceMtime"] = big(source.lastModified().toMSecsSinceEpoch());
        }
        rowArray.append(r);
    }
    QJsonObject root{{"journal", "vanto-list"},         {"version", kVersion}, {"profile", content.profileId},
                     {"merge", content.merge},          {"params", params},    {"rows", rowArray},
                     {"rowCount", int(rowArray.size())}};
    if (!content.runFolder.isEmpty()) root["runFolder"] = content.runFolder;
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

bool TListJournal::DecodeList(const QByteArray& bytes, TJournalContent& content, QString* error) {
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    if (doc.isNull()) return fail(parse.errorString());
    const QJsonObject root = doc.object();
    if (root["journal"].toString() != QLatin1String("vanto-list"))
        return fail(QStringLiteral("not a list journal"));
    if (root["version"].toInt() != kVersion) return fail(QStringLiteral("unknown journal version"));
    const QJsonArray params = root["params"].toArray();
    const QJsonArray rows = root["rows"].toArray();
    if (root["rowCount"].toInt(-1) != rows.size()) return fail(QStringLiteral("incomplete journal"));
    TJournalContent out;
    out.profileId = root["profile"].toInt(-1);
    out.merge = root["merge"].toBool();
    out.runFolder = root["runFolder"].toString();
    for (const QJsonValue& value : rows) {
        const QJsonObject r = value.toObject();
        TJournalRow row;
        std::unique_ptr<ListFileInfo> entry = entryFromJson(r);
        if (entry->FileName.isEmpty() && !entry->IsYutubeFile) return fail(QStringLiteral("row without a file"));
        const int index = r["params"].toInt(-1);
        if (index >= params.size()) return fail(QStringLiteral("row with an unknown parameter set"));
        if (index >= 0) entry->formatInfo = paramsFromJson(params[index].toObject());
        row.entry = std::move(entry);
        row.caption = r["caption"].toString();
        row.output = r["output"].toString();
        row.checked = r["checked"].toBool(true);
        row.converting = r["converting"].toBool();
        row.sourceSize = bigOf(r["sourceSize"], -1);
        row.sourceMtime = bigOf(r["sourceMtime"], -1);
        out.rows.push_back(std::move(row));
    }
    content = std::move(out);
    return true;
}
