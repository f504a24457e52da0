#pragma once

#include <QLabel>
#include <QPoint>

class QHBoxLayout;
class QPushButton;

// The title bar of a tool window (object name "titleWidget"): the title text ("titleLabel_S") on
// the left, optional widgets added by the window, and the close button ("closeButton", 20 x 20)
// on the right. Dragging it with the left mouse button moves its top-level window.
class KTitleWidget : public QLabel
{
    Q_OBJECT

public:
    explicit KTitleWidget(QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &text);

    QLabel *titleLabel() const { return m_titleLabel; }
    QPushButton *closeButton() const { return m_closeButton; }

    // Adds a widget to the right part of the bar, before the close button; widgets appear left
    // to right in the order they are added. The bar takes ownership.
    void addWidget(QWidget *widget);
    // Adds a 20 x 20 flat button (styled by its object name, e.g. "minimizeButton") before the
    // close button and returns it.
    QPushButton *addButton(const QString &objectName, const QString &toolTip);
    // The bar's horizontal layout, for windows that need more control (spacing, stretches).
    QHBoxLayout *barLayout() const { return m_layout; }

    // Sized by its layout, not by the (empty) label text.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The press position in the bar's own coordinates (null when no drag is in progress).
    QPoint pressPosition() const { return m_pressPosition; }

signals:
    // Emitted after each drag step that moved the window.
    void moved();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QHBoxLayout *m_layout = nullptr;
    QLabel *m_titleLabel = nullptr;
    QPushButton *m_closeButton = nullptr;
    int m_insertIndex = 0;
    QPoint m_pressPosition;
    bool m_dragging = false;
};
