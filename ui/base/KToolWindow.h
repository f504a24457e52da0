#pragma once

#include <QLabel>

class QCloseEvent;
class QHideEvent;
class QFrame;
class QLayout;
class QPushButton;
class KTitleWidget;

// Base of every window of the program: a frameless, window-modal top-level window that draws
// its own title bar.
//
// Widget tree (object names in quotes):
//   KToolWindow                      the top-level window, layout margins 0
//     "frameWidget"  QFrame          1 px theme border around everything
//       "titleWidget"  KTitleWidget  "titleLabel_S" text, extra title widgets, "closeButton"
//       contentWidget()              everything a subclass shows goes here
//
// How a subclass uses it:
//   - content below the title bar: give contentWidget() a layout, either
//         auto *layout = new QVBoxLayout(contentWidget());
//     or  setContentLayout(layout);            (takes ownership; replaces nothing if one exists)
//   - title text: setTitle(text)
//   - title bar: setTitleBarVisible(false) hides the whole bar (full-screen windows);
//     setCloseButtonVisible(false) hides the close button (login window); more buttons with
//     titleWidget()->addButton("minimizeButton", tip) or titleWidget()->addWidget(widget)
//   - modality: window-modal by default; call setWindowModality(Qt::NonModal) for the main window
//   - show() and close() are virtual slots: override them to change showing or closing; a close
//     request from the window system goes through close() as well, so an override may refuse it
//     by not calling the base.
//
// The first constructor call installs the theme builder (KStyleSheet::install()) in case main()
// has not, and every call makes sure the picture bundle is registered (KResources::init()).
class KToolWindow : public QLabel
{
    Q_OBJECT

public:
    explicit KToolWindow(QWidget *parent = nullptr);
    ~KToolWindow() override;

    QString title() const;
    void setTitle(const QString &text);

    KTitleWidget *titleWidget() const { return m_titleWidget; }
    QPushButton *closeButton() const;
    QFrame *frameWidget() const { return m_frameWidget; }
    QWidget *contentWidget() const { return m_contentWidget; }
    void setContentLayout(QLayout *layout);

    bool isTitleBarVisible() const;
    void setTitleBarVisible(bool visible);
    void setCloseButtonVisible(bool visible);

    // Sized by its layout, not by the (empty) label text.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Moves the window: over the centre of its parent, or to the centre of the primary screen's
    // available area without one; a window at least as tall as that area goes to 1/16 of it.
    void centre();
    // The position centre() picks. parentGlobalRect is the parent's rectangle in global
    // coordinates, or a null rectangle when there is no parent.
    static QPoint centredPosition(const QSize &windowSize, const QRect &available,
                                  const QRect &parentGlobalRect);

signals:
    void closed();

public slots:
    // Shows and activates the window, then centres it.
    virtual void show();
    // Emits closed(), then closes the window.
    virtual void close();

protected:
    void closeEvent(QCloseEvent *event) override;
    // A window that had the keyboard gives it back to the window it was opened over: without a
    // window manager nobody else does, and the keys of the operator would go nowhere.
    void hideEvent(QHideEvent *event) override;
    bool event(QEvent *event) override;

private:
    QFrame *m_frameWidget = nullptr;
    KTitleWidget *m_titleWidget = nullptr;
    QWidget *m_contentWidget = nullptr;
    bool m_closing = false;
    bool m_externalClose = false;
    bool m_externalCloseAccepted = false;
    bool m_hadKeyboard = false;
};
