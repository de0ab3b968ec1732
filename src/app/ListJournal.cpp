#include "app/ListJournal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <unordered_map>

#include "app/CommEntity.h"
#include "app/EntryCopy.h"
#include "app/SafeFiles.h"
#include "app/Utils.h"
#include "profiles/ParaInfo.h"

namespace {
constexpr int kVersion = 1;

// A field added to the parameter records must be journaled below too, or a restored row would
// silently lose it. The sizes are those of the 64-bit Linux build; other platforms skip the check.
#if defined(__linux__) && defined(__x86_64__)
static_assert(sizeof(TEncParam) == 200, "journal every field of TEncParam");
static_assert(sizeof(TFormatInfo) == 536, "journal every field of TFormatInfo");
static_assert(sizeof(ListFileInfo) == 432, "journal every field of ListFileInfo");
#endif

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
qint64 bigOf(const QJsonValue& v, qint64 fallback = 0) {
    bool ok = false;
    const qint64 n = v.toString().toLongLong(&ok);
    return ok ? n : fallback;
}

// A JSON string: quotes, backslashes and control characters escaped, the rest as UTF-8.
void appendString(QByteArray& out, const QString& text) {
    static const char kHex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    qsizetype plain = 0;  // start of the run of characters that need no escape
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto u = static_cast<unsigned char>(utf8[i]);
        if (u >= 0x20 && u != '"' && u != '\\') continue;
        out.append(utf8.constData() + plain, i - plain);
        plain = i + 1;
        out += '\\';
        switch (u) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '\n': out += 'n'; break;
        case '\r': out += 'r'; break;
        case '\t': out += 't'; break;
        default:
            out += "u00";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    out.append(utf8.constData() + plain, utf8.size() - plain);
    out += '"';
}

// A JSON object written field by field (much faster than building a QJsonObject for the
// thousands of rows of a long list); the reader is QJsonDocument.
class TJsonFields {
public:
    // Opens an object, or (continuing) goes on with one whose first fields are written already.
    explicit TJsonFields(QByteArray& out, bool continuing = false) : out_(out), first_(!continuing) {}
    void field(const char* name, const QString& v) {
        key(name);
        appendString(out_, v);
    }
    void field(const char* name, int v) {
        key(name);
        out_ += QByteArray::number(v);
    }
    void field(const char* name, bool v) {
        key(name);
        out_ += v ? "true" : "false";
    }
    void big(const char* name, qint64 v) {  // as text, read back by bigOf()
        key(name);
        out_ += '"' + QByteArray::number(v) + '"';
    }
    void raw(const char* name, const QByteArray& json) {
        key(name);
        out_ += json;
    }
    void close() { out_ += first_ ? "{}" : "}"; }

private:
    void key(const char* name) {
        out_ += first_ ? "{\"" : ",\"";
        first_ = false;
        out_ += name;
        out_ += "\":";
    }
    QByteArray& out_;
    bool first_;
};

// The entry's fields as an object without its closing brace: the row's own fields follow.
void appendEntryFields(QByteArray& out, const ListFileInfo& e) {
    TJsonFields w(out);
    w.field("FileName", e.FileName);
    w.big("FileSize", e.FileSize);
    w.big("FileDurTime", e.FileDurTime);
    w.field("BitRate", e.BitRate);
    w.field("Width", e.Width);
    w.field("Height", e.Height);
    w.field("FrameRate", e.FrameRate);
    w.field("FileFormat", e.FileFormat);
    w.field("OutPutFileName", e.OutPutFileName);
    w.field("ProfileName", e.ProfileName);
    w.field("SampleRate", e.SampleRate);
    w.field("Channel", e.Channel);
    w.field("AudioBitRate", e.AudioBitRate);
    w.field("FileInfo", e.FileInfo);
    w.field("NormType", e.NormType);
    w.big("StartTime", e.StartTime);
    w.big("EndTime", e.EndTime);
    w.field("VWidth", e.VWidth);
    w.field("VHeight", e.VHeight);
    w.field("CategoryTag", e.CategoryTag);
    w.field("YoutubeVideId", e.YoutubeVideId);
    w.field("YoutubeThumbnailUrl", e.YoutubeThumbnailUrl);
    w.field("YoutubeLength", e.YoutubeLength);
    w.field("YoutubeVideoUrl", e.YoutubeVideoUrl);
    w.field("YoutubeUrl", e.YoutubeUrl);
    w.field("YoutubeTitle", e.YoutubeTitle);
    w.field("YoutubeFlvUrl", e.YoutubeFlvUrl);
    w.field("YoutubeMp4Url", e.YoutubeMp4Url);
    w.field("HadDownloaded", e.HadDownloaded);
    w.field("IsYutubeFile", e.IsYutubeFile);
    w.field("HasData", e.HasData);
    w.field("HasVideo", e.HasVideo);
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

// An entry's own fields encoded (an object without its closing brace) and its parameter set's
// text, for the shared copy of the entry they were made from.
struct TJournalEncodeCache {
    struct Row {
        // The copy it was made from: while that lives, no other entry can have its address. Not
        // kept alive here, so a list's entries are still freed where the list lets them go.
        std::weak_ptr<const ListFileInfo> entry;
        QByteArray fields;
        QByteArray params;  // empty without a parameter set
        // The source's size and modification time as first read (-1: not read yet, -2: none).
        qint64 size = -1, mtime = -1;
    };
    std::unordered_map<const ListFileInfo*, Row> rows;
};

TListJournal::TListJournal(QString file, TJournalSource source, QObject* parent)
    : QObject(parent),
      file_(std::move(file)),
      source_(std::move(source)),
      encodeCache_(std::make_unique<TJournalEncodeCache>()) {
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
        const QByteArray bytes = list ? EncodeList(*list, encodeCache_.get()) : QByteArray();
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

QByteArray TListJournal::EncodeList(const TJournalContent& content, TJournalEncodeCache* cache) {
    // Rows mostly share one parameter set; each distinct set is written once. The document is
    // put together from encoded pieces: an entry is encoded once for as long as its copy lives.
    TJournalEncodeCache once;  // without a cache of the caller's, one for this list only
    if (!cache) cache = &once;
    QByteArray params = "[", rows = "[";
    QHash<QByteArray, int> paramIndex;
    std::unordered_map<const ListFileInfo*, TJournalEncodeCache::Row> used;
    const TFormatInfo* lastParams = nullptr;  // the set encoded last, and its text
    QByteArray lastParamsText;
    int count = 0;
    for (const TJournalRow& row : content.rows) {
        if (!row.entry) continue;
        const ListFileInfo* key = row.entry.get();
        auto at = used.find(key);
        if (at == used.end()) {
            const auto old = cache->rows.find(key);
            if (old != cache->rows.end() && !old->second.entry.expired()) {
                at = used.emplace(key, std::move(old->second)).first;
            } else {
                TJournalEncodeCache::Row fresh{row.entry, {}, {}};
                appendEntryFields(fresh.fields, *row.entry);
                if (const TFormatInfo* set = row.entry->formatInfo.get()) {
                    if (!lastParams || !TEntryCopy::SameParams(lastParams, set)) {
                        lastParams = set;
                        lastParamsText = QJsonDocument(paramsToJson(*set)).toJson(QJsonDocument::Compact);
                    }
                    fresh.params = lastParamsText;
                }
                at = used.emplace(key, std::move(fresh)).first;
            }
        }
        TJournalEncodeCache::Row& encoded = at->second;
        int index = -1;
        if (!encoded.params.isEmpty()) {
            auto it = paramIndex.find(encoded.params);
            if (it == paramIndex.end()) {
                it = paramIndex.insert(encoded.params, int(paramIndex.size()));
                if (params.size() > 1) params += ',';
                params += encoded.params;
            }
            index = it.value();
        }
        qint64 size = row.sourceSize, mtime = row.sourceMtime;
        if (size < 0 || mtime < 0) {
            if (encoded.size == -1) {
                encoded.size = encoded.mtime = -2;
                if (const QFileInfo source(row.entry->FileName); !row.entry->IsYutubeFile && source.exists()) {
                    encoded.size = source.size();
                    encoded.mtime = source.lastModified().toMSecsSinceEpoch();
                }
            }
            size = encoded.size;
            mtime = encoded.mtime;
        }
        if (count++ > 0) rows += ',';
        rows += encoded.fields;
        TJsonFields w(rows, true);
        w.field("params", index);
        w.field("caption", row.caption);
        w.field("output", row.output);
        w.field("checked", row.checked);
        if (row.converting) w.field("converting", true);
        if (size >= 0) {
            w.big("sourceSize", size);
            w.big("sourceMtime", mtime);
        }
        w.close();
    }
    params += ']';
    rows += ']';
    cache->rows = std::move(used);
    QByteArray bytes;
    TJsonFields w(bytes);
    w.field("journal", QStringLiteral("vanto-list"));
    w.field("version", kVersion);
    w.field("profile", content.profileId);
    w.field("merge", content.merge);
    w.field("rowCount", count);
    if (!content.runFolder.isEmpty()) w.field("runFolder", content.runFolder);
    w.raw("params", params);
    w.raw("rows", rows);
    w.close();
    return bytes;
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
