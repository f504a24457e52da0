#pragma once

#include <QList>
#include <QMap>
#include <QWidget>

class QGridLayout;
class KAbstractVideoView;

// The window grid of a player. Arrangements: 0 one blown-up tile, 1..8 for 1, 2, 4, 6, 8, 12,
// 16 and 24 windows. Tiles beyond the arrangement are stopped and hidden.
class KVideoViewTableWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KVideoViewTableWidget(QWidget *parent = nullptr);
    ~KVideoViewTableWidget() override;

    void setViews(const QList<KAbstractVideoView *> &views);
    // The arrangement for a number of tiles in use (12 windows for none).
    void fitArrangement(int count);

    int arrangement() const { return m_arrangement; }
    int lastArrangement() const { return m_lastArrangement; }
    bool isFullWindowView() const { return m_fullWindowView; }
    int fullWindowIndex() const { return m_fullWindowIndex; }
    int placeholderCount() const { return m_placeholders.size(); }
    // Columns and rows of an arrangement (1 x 1 for 0).
    static QSize gridSize(int arrangement);

signals:
    void fullSizeViewEnabled(bool state);
    // A new arrangement (0: a tile blown up) was applied.
    void arrangementChanged(int arrangement);

public slots:
    void set1ViewArrangement();
    void set2ViewsArrangement();
    void set4ViewsArrangement();
    void set6ViewsArrangement();
    void set8ViewsArrangement();
    void set12ViewsArrangement();
    void set16ViewsArrangement();
    void set24ViewsArrangement();

private slots:
    void setFullWindowView();

private:
    void applyArrangement(int arrangement);
    void chooseArrangement(int arrangement);

    QMap<int, KAbstractVideoView *> m_views;
    QList<QWidget *> m_placeholders;
    QGridLayout *m_layout = nullptr;
    int m_fullWindowIndex = 0;
    int m_arrangement = 6;
    int m_lastArrangement = 6;
    bool m_fullWindowView = false;
};
