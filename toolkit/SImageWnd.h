#pragma once

#include <QString>
#include <QWidget>

// The toolkit's image control ("img"): draws a state of a skin over its rectangle; its preferred
// size is the skin's.
class SImageWnd : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "img")
    Q_PROPERTY(QString skin READ skin WRITE setSkin)
    Q_PROPERTY(int state READ state WRITE setState)
public:
    explicit SImageWnd(QWidget* parent = nullptr);
    QString skin() const { return m_skin; }
    void setSkin(const QString& s);
    int state() const { return m_state; }
    void setState(int s);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_skin;
    int m_state = 0;
};
