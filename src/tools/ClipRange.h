#pragma once
// The range of the clip dialog: start and end in microseconds from the beginning of the file,
// the file's duration, and the slider scale (0 … Max) the dialog's position slider and range
// bar share. Holds the rules for taking a start or end from the slider and for typed times.
// Plain value logic, no widgets.

#include <QString>
#include <QtGlobal>

class TClipRange {
public:
    // Result of a typed time; every refusal has its message key (MessageKey).
    enum Check { crOk, crStartGreatEnd, crEndGreatTotal, crEndGreatStart };

    qint64 startTime = 0;
    qint64 endTime = 0;
    qint64 totalTime = 0;
    int Max = 0;  // the slider's maximum

    // The whole file: nothing to clip.
    bool IsWhole() const { return startTime == 0 && endTime == totalTime; }
    qint64 Length() const { return endTime - startTime; }

    // Slider position <-> time, truncating 64-bit integer arithmetic; 0 without a scale.
    qint64 TimeOfPosition(int position) const;
    int PositionOfTime(qint64 time) const;

    // Start or end from a slider position; no check against the other end.
    void SetStartAt(int position) { startTime = TimeOfPosition(position); }
    void SetEndAt(int position) { endTime = TimeOfPosition(position); }

    // Typed times: accepted (the range changes) or refused (it stays). A start equal to the end
    // is accepted; an end equal to the start is refused; an end may reach the duration.
    Check TypeStart(qint64 time);
    Check TypeEnd(qint64 time);
    static QString MessageKey(Check check);

    void Reset() {
        startTime = 0;
        endTime = totalTime;
    }

    // The range bar's selection: from the start's position to the end's position - 1.
    int SelStart() const { return PositionOfTime(startTime); }
    int SelEnd() const { return PositionOfTime(endTime) - 1; }

    // Tick spacing of the position slider: 10 when the duration in whole seconds is below the
    // slider's width in pixels, else 2.
    static int TickFrequency(qint64 duration, int sliderWidth);
};
