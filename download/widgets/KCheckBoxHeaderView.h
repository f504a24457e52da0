#pragma once

#include <QHeaderView>
#include <QSize>
#include <QVector>

// A table header that draws a check box in chosen sections and reports clicks on it.
class KCheckBoxHeaderView : public QHeaderView
{
    Q_OBJECT

public:
    explicit KCheckBoxHeaderView(Qt::Orientation orientation, QWidget *parent = nullptr);
    ~KCheckBoxHeaderView() override;

    bool isCheckboxShown(int section) const;
    bool isCheckboxChecked(int section) const;
    bool isCheckboxEnabled(int section) const;
    // Where the section's check box is drawn and reacts to clicks.
    QRect checkboxRect(int section) const;

signals:
    void checkboxClicked(int section, bool state);

public slots:
    void setCheckboxShown(int section, bool shown);
    void setCheckboxChecked(int section, bool state);
    void setCheckboxEnabled(int section, bool state);
    // Distance of the box from the section's leading edge; below 0 it is centred.
    void setMargin(int section, int margin);
    void setCheckboxSize(int width, int height);
    // Keeps one check box state per section (connected to sectionCountChanged).
    void setCheckboxesCount(int oldCount, int newCount);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    struct Box
    {
        bool shown = false;
        bool checked = false;
        bool enabled = true;
        int margin = -1;
    };
    Box box(int section) const { return m_boxes.value(section); }
    QRect boxRect(const QRect &sectionRect, int section) const;

    QVector<Box> m_boxes;
    QSize m_size{13, 13};
};
