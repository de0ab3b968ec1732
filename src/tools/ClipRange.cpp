#include "tools/ClipRange.h"

qint64 TClipRange::TimeOfPosition(int position) const {
    return Max > 0 ? static_cast<qint64>(position) * totalTime / Max : 0;
}

int TClipRange::PositionOfTime(qint64 time) const {
    return totalTime > 0 ? static_cast<int>(time * Max / totalTime) : 0;
}

TClipRange::Check TClipRange::TypeStart(qint64 time) {
    if (time > endTime) return crStartGreatEnd;
    startTime = time;
    return crOk;
}

TClipRange::Check TClipRange::TypeEnd(qint64 time) {
    if (time > totalTime) return crEndGreatTotal;
    if (time <= startTime) return crEndGreatStart;
    endTime = time;
    return crOk;
}

QString TClipRange::MessageKey(Check check) {
    switch (check) {
        case crStartGreatEnd:
            return QStringLiteral("DlgStartGreatEnd");
        case crEndGreatTotal:
            return QStringLiteral("DlgEndGreatTotal");
        case crEndGreatStart:
            return QStringLiteral("DlgEndGreatStart");
        case crOk:
            break;
    }
    return QString();
}

int TClipRange::TickFrequency(qint64 duration, int sliderWidth) {
    return duration / 1000000 < sliderWidth ? 10 : 2;
}
