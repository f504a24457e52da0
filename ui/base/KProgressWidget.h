#pragma once

#include <QFrame>

class QLabel;
class QTimer;

// The waiting page: a text ("titleLabel_S") above a 35 x 35 spinner picture. While animated, a
// 100 ms timer advances one frame number shared by every progress widget of the process
// (1, 2, ..., 7, 1, ...) and shows ":/progress<n>.png"; when not animated ":/progress.png".
class KProgressWidget : public QFrame
{
    Q_OBJECT

public:
    explicit KProgressWidget(QWidget *parent = nullptr);
    explicit KProgressWidget(const QString &text, QWidget *parent = nullptr);
    ~KProgressWidget() override;

    QString text() const;
    void setText(const QString &text);

    bool isAnimated() const;
    void setAnimated(bool animated);

    bool isPictureVisible() const;
    void setPictureVisible(bool visible);

    QLabel *textLabel() const { return m_textLabel; }
    QLabel *pictureLabel() const { return m_pictureLabel; }

    // The shared frame number: 0 before the first tick, then 1..7.
    static int frame();

public slots:
    // Timer tick: advances the shared frame number and shows that frame. (Not a repaint
    // request; use repaint() or QWidget::update() for that.)
    void update();

private:
    void showPicture(const QString &path);

    QLabel *m_textLabel = nullptr;
    QLabel *m_pictureLabel = nullptr;
    QTimer *m_timer = nullptr;
};
