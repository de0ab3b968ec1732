#include "app/SliderSeek.h"

#include <QTimer>

void TSliderSeek::UserMoved(qint64 target, const std::function<void(qint64)>& seek) {
    if (target != prevPostion) {
        seek(target);
        stopEvent = true;
        if (!m_Timer) {
            m_Timer = new QTimer(this);
            m_Timer->setSingleShot(true);
            connect(m_Timer, &QTimer::timeout, this, &TSliderSeek::SeekSettled);
        }
        m_Timer->start(1000);
    }
    prevPostion = target;
}

void TSliderSeek::SeekSettled() {
    stopEvent = false;
    if (m_Timer) {
        m_Timer->stop();
        m_Timer->deleteLater();
        m_Timer = nullptr;
    }
}
