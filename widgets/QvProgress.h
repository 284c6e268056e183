#pragma once

#include <QBasicTimer>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "toolkit/SProgress.h"

// "qvprogress": the background skin, then the position skin over the part proportional to the
// value, from the left or (vertical) the bottom. No text.
class QvProgress : public SProgress {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvprogress progress")
public:
    explicit QvProgress(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// "qvvumeter": a level meter, painted as QvProgress.
class QvVumeter : public QvProgress {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvvumeter qvprogress progress")
public:
    explicit QvVumeter(QWidget* parent = nullptr);
};

// Where a QvVuGroup takes its levels from.
class ILevelSource {
public:
    virtual ~ILevelSource() = default;
    virtual bool IsActive() const = 0;
    // Fills up to count values; returns how many were filled.
    virtual int Fill(int* values, int count) = 0;
};

// "qvvugroup": a container of QvVumeter children fed from a level source. Every 100 ms while the
// source is active the meters get its values; otherwise every 2000 ms they are set to 0. The
// Part describes this as a countdown decreased by 10 on each 10 ms timeline tick; one timer armed
// for the rest of the countdown fires at the same moments without waking every 10 ms.
class QvVuGroup : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvvugroup")
public:
    explicit QvVuGroup(QWidget* parent = nullptr);

    // Not owned; set null before the source goes away.
    void SetLevelSource(ILevelSource* source) { m_source = source; }
    ILevelSource* LevelSource() const { return m_source; }
    // The meters, collected from the children once, the first time they are needed.
    const QList<QPointer<QvVumeter>>& Meters();
    int Countdown() const { return m_countdown; }
    // Runs what happens when the countdown reaches 0; tests call it to step the group.
    void OnCountdownExpired();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    ILevelSource* m_source = nullptr;
    QList<QPointer<QvVumeter>> m_meters;
    bool m_collected = false;
    std::vector<int> m_buffer;
    int m_countdown = 2000;
    QBasicTimer m_timer;
};
