#pragma once
// Seeking with a position slider that also follows the playing position: a user move seeks once
// per new target, and for one second after the last move the player's position reports must
// not move the slider (they would pull the thumb back while the seek is still on its way).
// User-interface thread only.

#include <QObject>
#include <functional>

class QTimer;

class TSliderSeek : public QObject {
public:
    explicit TSliderSeek(QObject* parent = nullptr) : QObject(parent) {}

    // The user moved the slider to `target` (microseconds): `seek` runs when the target differs
    // from the last one, and the quiet second starts again.
    void UserMoved(qint64 target, const std::function<void(qint64)>& seek);
    // True while position reports must leave the slider alone (stopEvent).
    bool Quiet() const { return stopEvent; }
    // Ends the quiet second now (the timer's handler, and a stopped player).
    void SeekSettled();
    // The last position sought or shown (prevPostion).
    qint64 Last() const { return prevPostion; }
    void SetLast(qint64 position) { prevPostion = position; }

private:
    qint64 prevPostion = -1;
    bool stopEvent = false;
    QTimer* m_Timer = nullptr;
};
