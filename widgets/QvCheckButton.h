#pragma once

#include <QCheckBox>
#include <QColor>
#include <QRadioButton>
#include <QString>

// What the two-state buttons share: the per-state tool-tip, caption and text colour ("multitip",
// "multitext", "multicolor" with their "1" and "2" values for unchecked and checked) and the
// painting from an eight-state skin.
class CTwoStateLook {
public:
    explicit CTwoStateLook(QAbstractButton* button) : m_button(button) {}

    void SetMultiTip(const QString& v);
    void SetTip(int which, const QString& v);
    void SetMultiText(const QString& v);
    void SetText(int which, const QString& v);
    void SetMultiColor(const QString& v);
    void SetColor(int which, const QColor& c);
    // Applies the attributes of the current checked state.
    void ApplyState();

    // Skin state: unchecked normal 0, hover 1, pressed 2, disabled 3; checked 4 to 7.
    int SkinState() const;
    void Paint(const QString& skin, const QString& focusSkin, Qt::Alignment align) const;

    QString multiTip, tip1, tip2, multiText, text1, text2, multiColor;
    QColor color1, color2;
    QColor textColor;  // the colour in use; invalid: the palette's

private:
    static bool On(const QString& v) { return !v.isEmpty() && v != QLatin1String("0"); }
    QAbstractButton* m_button;
};

#define VELORA_TWO_STATE_PROPERTIES                                    \
    Q_PROPERTY(QString skin READ skin WRITE setSkin)                   \
    Q_PROPERTY(QString focusSkin READ focusSkin WRITE setFocusSkin)    \
    Q_PROPERTY(int autoCheck READ autoCheck WRITE setAutoCheck)        \
    Q_PROPERTY(Qt::Alignment align READ align WRITE setAlign)          \
    Q_PROPERTY(QString multitip READ multitip WRITE setMultitip)       \
    Q_PROPERTY(QString tip1 READ tip1 WRITE setTip1)                   \
    Q_PROPERTY(QString tip2 READ tip2 WRITE setTip2)                   \
    Q_PROPERTY(QString multitext READ multitext WRITE setMultitext)    \
    Q_PROPERTY(QString text1 READ text1 WRITE setText1)                \
    Q_PROPERTY(QString text2 READ text2 WRITE setText2)                \
    Q_PROPERTY(QString multicolor READ multicolor WRITE setMulticolor) \
    Q_PROPERTY(QColor colortext1 READ colortext1 WRITE setColortext1)  \
    Q_PROPERTY(QColor colortext2 READ colortext2 WRITE setColortext2)

#define VELORA_TWO_STATE_ACCESSORS         \
    QString skin() const {                 \
        return m_skin;                     \
    }                                      \
    void setSkin(const QString& s) {       \
        m_skin = s;                        \
        update();                          \
    }                                      \
    QString focusSkin() const {            \
        return m_focusSkin;                \
    }                                      \
    void setFocusSkin(const QString& s) {  \
        m_focusSkin = s;                   \
        update();                          \
    }                                      \
    int autoCheck() const {                \
        return m_autoCheck;                \
    }                                      \
    void setAutoCheck(int v) {             \
        m_autoCheck = v;                   \
    }                                      \
    Qt::Alignment align() const {          \
        return m_align;                    \
    }                                      \
    void setAlign(Qt::Alignment a) {       \
        m_align = a;                       \
        update();                          \
    }                                      \
    QString multitip() const {             \
        return m_look.multiTip;            \
    }                                      \
    void setMultitip(const QString& v) {   \
        m_look.SetMultiTip(v);             \
    }                                      \
    QString tip1() const {                 \
        return m_look.tip1;                \
    }                                      \
    void setTip1(const QString& v) {       \
        m_look.SetTip(1, v);               \
    }                                      \
    QString tip2() const {                 \
        return m_look.tip2;                \
    }                                      \
    void setTip2(const QString& v) {       \
        m_look.SetTip(2, v);               \
    }                                      \
    QString multitext() const {            \
        return m_look.multiText;           \
    }                                      \
    void setMultitext(const QString& v) {  \
        m_look.SetMultiText(v);            \
    }                                      \
    QString text1() const {                \
        return m_look.text1;               \
    }                                      \
    void setText1(const QString& v) {      \
        m_look.SetText(1, v);              \
    }                                      \
    QString text2() const {                \
        return m_look.text2;               \
    }                                      \
    void setText2(const QString& v) {      \
        m_look.SetText(2, v);              \
    }                                      \
    QString multicolor() const {           \
        return m_look.multiColor;          \
    }                                      \
    void setMulticolor(const QString& v) { \
        m_look.SetMultiColor(v);           \
    }                                      \
    QColor colortext1() const {            \
        return m_look.color1;              \
    }                                      \
    void setColortext1(const QColor& c) {  \
        m_look.SetColor(1, c);             \
    }                                      \
    QColor colortext2() const {            \
        return m_look.color2;              \
    }                                      \
    void setColortext2(const QColor& c) {  \
        m_look.SetColor(2, c);             \
    }                                      \
    QColor TextColor() const {             \
        return m_look.textColor;           \
    }

// "qvcheckbtn" (extends "check"): a button with a checked state, used for mute, gain, record and
// play. With "autoCheck" 0 a click only sends the command and the page decides the state.
class QvCheckButton : public QCheckBox {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvcheckbtn check")
    VELORA_TWO_STATE_PROPERTIES
public:
    explicit QvCheckButton(QWidget* parent = nullptr);
    VELORA_TWO_STATE_ACCESSORS
    QSize sizeHint() const override;

protected:
    bool hitButton(const QPoint& pos) const override;
    void nextCheckState() override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_skin;
    QString m_focusSkin;
    int m_autoCheck = 0;
    Qt::Alignment m_align = Qt::AlignCenter;
    CTwoStateLook m_look{this};
};

// "qvradiobtn" (extends "radio"): the preset buttons of the equaliser and reverb dialogs. With
// "autoCheck" a click or gaining the focus checks it (and unchecks its group).
class QvRadioButton : public QRadioButton {
    Q_OBJECT
    Q_CLASSINFO("xmlTags", "qvradiobtn radio")
    VELORA_TWO_STATE_PROPERTIES
public:
    explicit QvRadioButton(QWidget* parent = nullptr);
    VELORA_TWO_STATE_ACCESSORS
    QSize sizeHint() const override;

protected:
    bool hitButton(const QPoint& pos) const override;
    void nextCheckState() override;
    void focusInEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_skin;
    QString m_focusSkin;
    int m_autoCheck = 0;
    Qt::Alignment m_align = Qt::AlignCenter;
    CTwoStateLook m_look{this};
};
