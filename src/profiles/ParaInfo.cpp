#include "profiles/ParaInfo.h"

#include <QFile>
#include <QRegularExpression>

#include "app/DialogSeam.h"
#include "app/Utils.h"
#include "profiles/ProfileMenu.h"
#include "profiles/QualityScale.h"
#include "profiles/XmlReading.h"
#include "settings/Lang.h"

namespace {
struct ParaStore {
    bool loaded = false;
    std::map<int, std::unique_ptr<TFormatInfo>> map;
};

ParaStore& store() {
    static ParaStore s;
    return s;
}

QString childText(const QDomElement& e, const QString& name) {
    return e.firstChildElement(name).text();
}

// An optional integer element of "EncParam": absent or empty keeps `field`.
void readInt(const XmlFileReader& xml, const QDomElement& encParam, const QString& name, int& field) {
    const QDomElement e = encParam.firstChildElement(name);
    if (e.isNull()) return;
    const QString text = e.text().trimmed();
    if (text.isEmpty()) return;
    field = xml.decimal(e, name, text);
}

}  // namespace

QString PlainOptionValue(const QString& text) {
    static const QRegularExpression kPlain(QStringLiteral("^[A-Za-z0-9._]{1,24}$"));
    const QString t = text.trimmed();
    return kPlain.match(t).hasMatch() ? t : QString();
}

namespace {

void readEncParam(const XmlFileReader& xml, const QDomElement& e, TEncParam& p) {
    readInt(xml, e, QStringLiteral("Width"), p.Width);
    readInt(xml, e, QStringLiteral("Height"), p.Height);
    readInt(xml, e, QStringLiteral("VideoBitrate"), p.VideoBitrate);
    // A frame rate that is not a number means "keep the source rate".
    const QString frameRate = childText(e, QStringLiteral("FrameRate")).trimmed();
    if (!frameRate.isEmpty()) p.FrameRate = ParseDecimal(frameRate).value_or(0);
    readInt(xml, e, QStringLiteral("SampleRate"), p.SampleRate);
    readInt(xml, e, QStringLiteral("AudioBitrate"), p.AudioBitrate);
    readInt(xml, e, QStringLiteral("Channels"), p.Channels);
    readInt(xml, e, QStringLiteral("Interpolation"), p.Interpolation);
    readInt(xml, e, QStringLiteral("ResizeStyle"), p.ResizeStyle);
    readInt(xml, e, QStringLiteral("Zoom"), p.Zoom);
    p.VideoEncoder = childText(e, QStringLiteral("VideoEncoder")).trimmed();
    p.AudioEncoder = childText(e, QStringLiteral("AudioEncoder")).trimmed();
    int keep = 0;
    readInt(xml, e, QStringLiteral("KeepPixelFormat"), keep);
    p.KeepPixelFormat = keep != 0;
    p.VideoProfile = PlainOptionValue(childText(e, QStringLiteral("VideoProfile")));
    p.VideoLevel = PlainOptionValue(childText(e, QStringLiteral("VideoLevel")));
    p.PixelFormat = PlainOptionValue(childText(e, QStringLiteral("PixelFormat")));
    readInt(xml, e, QStringLiteral("Quality"), p.Quality);
    const QDomElement fit = e.firstChildElement(QStringLiteral("FitSize"));
    if (!fit.isNull() && !fit.text().trimmed().isEmpty()) {
        const std::optional<qint64> bytes = ParseSizeText(fit.text());
        if (!bytes) throw xml.error(fit, QStringLiteral("\"FitSize\" is not a size: %1").arg(fit.text()));
        p.FitSize = *bytes;
    }
}

void readRecord(const XmlFileReader& xml, const QDomElement& e, int order) {
    auto info = std::make_unique<TFormatInfo>();
    info->ID = xml.decimal(e, QStringLiteral("ID"), xml.requiredAttribute(e, QStringLiteral("ID")));
    info->Format = xml.requiredAttribute(e, QStringLiteral("Format"));
    info->FourCC = xml.requiredAttribute(e, QStringLiteral("FourCC"));
    info->Icon = xml.requiredAttribute(e, QStringLiteral("Icon"));
    info->Order = order;
    const TMenuInfo* entry = FindMenuInfo(info->ID);
    if (!entry) return;  // not in the catalogue: unusable
    info->Categoryid = entry->Categoryid;
    info->Name = childText(e, QStringLiteral("Name"));
    info->Description = childText(e, QStringLiteral("Description"));
    info->Resolution = childText(e, QStringLiteral("Resolution"));
    info->FrameRate = childText(e, QStringLiteral("FrameRate"));
    info->VideoBitrate = childText(e, QStringLiteral("VideoBitrate"));
    info->AudioBitrate = childText(e, QStringLiteral("AudioBitrate"));
    info->SampleRate = childText(e, QStringLiteral("SampleRate"));
    info->Channel = childText(e, QStringLiteral("Channel"));
    info->VideoEnclist = childText(e, QStringLiteral("VideoEncList"));
    info->AudioEncList = childText(e, QStringLiteral("AudioEnclist"));
    const QDomElement encParam = e.firstChildElement(QStringLiteral("EncParam"));
    if (encParam.isNull())
        throw xml.error(e, QStringLiteral("the profile %1 lacks its \"EncParam\" element").arg(info->ID));
    readEncParam(xml, encParam, info->EncParam);
    store().map.try_emplace(info->ID, std::move(info));  // the first record of an ID wins
}

void showMissingFile() {
    QString text;
    try {
        text = GetLangText(QStringLiteral("ErrorNoParaFile"));
    } catch (const ELangError&) {
        // Without a language table the user must still learn why no profile is offered.
        text = QStringLiteral("The output parameter file ParaInfo.dll is missing.");
    }
    MessageDialogs().MessageBox(text, QStringLiteral("Vanto Video Converter"));
}
}  // namespace

void LoadParaInfo() {
    ParaStore& s = store();
    if (s.loaded) return;
    s.loaded = true;
    const QString path = JoinPath(ProgramFolder(), QStringLiteral("ParaInfo.dll"));
    if (!QFile::exists(path)) {
        showMissingFile();
        return;
    }
    const XmlFileReader xml(path);
    const QDomDocument doc = xml.open();
    for (QDomNode top = doc.firstChild(); !top.isNull(); top = top.nextSibling()) {
        if (!top.isElement() || top.nodeName() != QLatin1String("Product")) continue;
        const QDomNodeList children = top.childNodes();
        for (int i = 0; i < children.size(); ++i) {
            const QDomNode child = children.at(i);
            if (child.isElement() && child.nodeName() == QLatin1String("FormatInfo"))
                readRecord(xml, child.toElement(), i);
        }
    }
}

std::unique_ptr<TFormatInfo> GetFormatInfo(int id) {
    const auto it = store().map.find(id);
    if (it == store().map.end()) return nullptr;
    return it->second->Clone();
}

const std::map<int, std::unique_ptr<TFormatInfo>>& FormatInfoMap() {
    return store().map;
}

bool ParaInfoLoaded() {
    return store().loaded;
}

void FreeParaInfo() {
    store().map.clear();
    store().loaded = false;
}
