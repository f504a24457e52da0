#pragma once

#include <QWidget>
#include <memory>

class KSdkFrameStore;

// A child covering the render window that paints the stream's latest picture, stretched to
// the window. Lives on the GUI thread; mouse events pass through to the window below.
class KSdkVideoSurface : public QWidget
{
public:
    KSdkVideoSurface(std::shared_ptr<KSdkFrameStore> store, QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    std::shared_ptr<KSdkFrameStore> m_store;
};
