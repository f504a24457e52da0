#pragma once

#include <QWidget>

// Base of the main window's central area.
class KAbstractCentralWidget : public QWidget
{
    Q_OBJECT

public:
    explicit KAbstractCentralWidget(QWidget *parent = nullptr) : QWidget(parent) {}
};
