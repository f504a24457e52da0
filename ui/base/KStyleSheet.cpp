#include "KStyleSheet.h"

#include "KResources.h"
#include "KSettings.h"

namespace {

struct Rule
{
    const char *selectors;
    // "$n" stands for theme colour n, inserted exactly where it stands.
    const char *declarations;
};

// The rules in the order they are applied; later rules win over earlier ones of equal weight.
const Rule rules[] = {
    {"QWidget, #frameWidget", "background-color: $1; font: 10pt \"Arial\"; "
                              "selection-background-color: $7; selection-color: $10;"},
    {"#frameWidget", "border: 1px solid$5;"},
    {"QGroupBox", "border: 1px solid$5; border-radius: 0px; margin-top: 2ex; font: bold;"},
    {"QGroupBox::title",
     "padding-top: -6px; subcontrol-origin: margin; subcontrol-position: top left;  left: 20px;"},
    {"QFrame[frameShape=\"4\"], QFrame[frameShape=\"5\"]", "color: $5"},
    {"QMenu::separator", "background: $5; height: 1px; margin: 5px;"},
    {"QPushButton, QToolButton, QLineEdit, QTextEdit, QComboBox, QAbstractSpinBox, QDateTimeEdit, "
     "QTreeView, QScrollBar::handle:horizontal",
     "width: 100px; height: 20px; border: 1px solid$5; border-radius: 0px;"},
    {"QScrollBar::handle:vertical",
     "min-width: 20px; min-height: 40px; border: 1px solid$5; border-radius: 0px;"},
    {"QComboBox::drop-down, QDateTimeEdit::drop-down",
     "width: 20px; height: 20px; border-left: 1px solid$5; image: url(:/branchopen.png);"},
    {"QComboBox::drop-down:!enabled, QDateTimeEdit::drop-down:!enabled",
     "image: url(:/branchopen_d.png);"},
    {"QAbstractSpinBox::up-button, QAbstractSpinBox::down-button, QDateTimeEdit::up-button, "
     "QDateTimeEdit::down-button",
     "width: 20px; height: 10px;"},
    {"QAbstractSpinBox::up-button, QDateTimeEdit::up-button",
     "border-left: 1px solid$5; image: url(:/branchup.png);"},
    {"QAbstractSpinBox::up-button:!enabled, QDateTimeEdit::up-button:!enabled",
     "image: url(:/branchup_d.png);"},
    {"QAbstractSpinBox::down-button, QDateTimeEdit::down-button",
     "border-left: 1px solid$5; image: url(:/branchopen.png);"},
    {"QAbstractSpinBox::down-button:!enabled, QDateTimeEdit::down-button:!enabled",
     "image: url(:/branchopen_d.png);"},
    {"QPushButton, QToolButton, QToolButton:!checked,  QComboBox::drop-down, "
     "QDateTimeEdit::drop-down, QAbstractSpinBox::up-button, QAbstractSpinBox::down-button, "
     "QDateTimeEdit::up-button, QDateTimeEdit::down-button, QScrollBar::handle, QTabBar "
     "QToolButton, QHeaderView::section, QTabBar::tab, QTableCornerButton::section",
     "background-color: $6; color: $10;"},
    {"QPushButton:hover, QToolButton::hover, QComboBox::drop-down:hover, "
     "QDateTimeEdit::drop-down:hover, QAbstractSpinBox::up-button:hover, "
     "QAbstractSpinBox::down-button:hover, QDateTimeEdit::up-button:hover, "
     "QDateTimeEdit::down-button:hover, QScrollBar::handle:hover, QTabBar QToolButton:hover, "
     "QSlider::handle:hover, QSlider::handle:pressed, QHeaderView::section:hover, "
     "QTabBar::tab:hover, QTableCornerButton::section:hover",
     "background-color: $7; color: $10;"},
    {"QPushButton:pressed, QToolButton::checked, QComboBox::drop-down:pressed, "
     "QDateTimeEdit::drop-down:pressed, QAbstractSpinBox::up-button:pressed, "
     "QAbstractSpinBox::down-button:pressed, QDateTimeEdit::up-button:pressed, "
     "QDateTimeEdit::down-button:pressed, QScrollBar::handle:pressed, QTabBar QToolButton:pressed, "
     "QSlider::handle, QHeaderView::section:pressed, QTabBar::tab:pressed, "
     "QTableCornerButton::section:checked",
     "background-color: $8; color: $12;"},
    {"QPushButton:!enabled, QToolButton:!enabled, QComboBox::drop-down:!enabled, "
     "QDateTimeEdit::drop-down:!enabled, QAbstractSpinBox::up-button:!enabled, "
     "QAbstractSpinBox::down-button:!enabled, QDateTimeEdit::up-button:!enabled, "
     "QDateTimeEdit::down-button:!enabled, QScrollBar::handle:!enabled, QTabBar "
     "QToolButton:!enabled, QSlider::handle:!enabled, QHeaderView::section:!enabled, "
     "QTabBar::tab:!enabled, QTableCornerButton::section:!enabled",
     "background-color: $9; color: $11;"},
    {"QMenu::item, QTreeView::item, QComboBox::item", "background-color: $3; color: $10;"},
    {"QMenu::item:selected, QTreeView::item:hover, QComboBox::item:hover",
     "background-color: $7; color: $10;"},
    {"QMenu::item:pressed, QTreeView::item:pressed, QComboBox::item:pressed",
     "background-color: $8; color: $12;"},
    {"QMenu::item:!enabled, QTreeView::item:!enabled, QComboBox::item:!enabled",
     "background-color: $3; color: $11;"},
    {"QPushButton#closeButton, QTabBar::close-button",
     "background-color: transparent; image: url(:/window_close.png); border: 0px;"},
    {"QPushButton#closeButton:hover, QTabBar::close-button:hover",
     "image: url(:/window_close_h.png);"},
    {"QPushButton#maximizeButton",
     "background-color: transparent; image: url(:/window_maximize.png); border: 0px;"},
    {"QPushButton#maximizeButton:hover", "image: url(:/window_maximize_h.png);"},
    {"QPushButton#minimizeButton",
     "background-color: transparent; image: url(:/window_minimize.png); border: 0px;"},
    {"QPushButton#minimizeButton:hover", "image: url(:/window_minimize_h.png);"},
    {"QPushButton#appInfoButton",
     "background-color: transparent; image: url(:/appinfo.png); border: 0px;"},
    {"QPushButton#appInfoButton:hover", "image: url(:/appinfo_h.png);"},
    {"QComboBox QAbstractItemView, QAbstractSpinBox QAbstractItemView, QDateTimeEdit "
     "QAbstractItemView, QTableView, QMenu",
     "outline: none; border: 1px solid$5; border-radius: 0px; background-color: $3; color: $10; "
     "selection-background-color:  $7; selection-color:  $10;"},
    {"QLineEdit, QTextEdit, QComboBox, QAbstractSpinBox, QDateTimeEdit, QTreeView, QTableView, "
     "QMenu",
     "background-color: $3; color: $10;"},
    {"QLineEdit:!enabled, QTextEdit:!enabled, QComboBox:!enabled, QAbstractSpinBox:!enabled, "
     "QTreeView:!enabled",
     "background-color: $4; color: $11;"},
    {"QAbstractSpinBox, QDateTimeEdit", "qproperty-alignment: AlignRight;"},
    {"QDateEdit", "width: 125px;"},
    {"QLabel, QCheckBox", "background-color: transparent; color: $10;"},
    {"QLabel:!enabled, QCheckBox:!enabled, QGroupBox:!enabled", "color: $11;"},
    {"QLabel#titleLabel_L", "font: bold 16pt;"},
    {"QLabel#titleLabel_S", "font: bold;"},
    {"QCheckBox::indicator", "width: 15px; height: 15px; border: 1px solid$5; border-radius: 0px;"},
    {"QTableView::indicator",
     "border: 1px solid $5; border-radius: 0px; width: 12px; height: 12px"},
    {"QCheckBox::indicator:unchecked, QTableView::indicator:unchecked", "background-color: $3;"},
    {"QCheckBox::indicator:!enabled, QCheckBox::indicator:unchecked:!enabled, "
     "QTableView::indicator:!enabled, QTableView::indicator:unchecked:!enabled",
     "background-color: $4;"},
    {"QCheckBox::indicator:hover", "background-color: $7;"},
    {"QCheckBox::indicator:checked, QTableView::indicator:checked",
     "background-color: $3; image: url(:/check.png);"},
    {"QCheckBox::indicator:checked:hover", "image: url(:/check_h.png);"},
    {"QCheckBox::indicator:checked:!enabled", "image: url(:/check_d.png);"},
    {"QTreeView::item:selected", "background-color: $8; color: $12;"},
    {"QTreeView::branch:has-children", "image: url(:/branchopen.png);"},
    {"QTreeView::branch:has-children:hover", "image: url(:/branchopen_h.png);"},
    {"QTreeView::branch:closed:has-children", "image: url(:/branchclosed.png);"},
    {"QTreeView::branch:closed:has-children:hover", "image: url(:/branchclosed_h.png);"},
    {"QTableView", "gridline-color: $5;"},
    {"QHeaderView::section, QTableCornerButton::section",
     "background-color: $1; border-style: outset; border-right: 1px solid $5; border-bottom: 1px "
     "solid $5; padding: 5px; padding-top: 5px;"},
    {"QHeaderView::section:checked", "background-color: $8; color: $12;"},
    {"QTabWidget::pane", "border: 1px solid $5; border-radius: 0px;"},
    {"QTabBar::tab",
     "padding: 5px; font: bold 14px; width: 220px; border: 1px solid $5; border-bottom: 0px;"},
    {"QTabBar::tab:selected", "background-color: $8; color: $12;"},
    {"QTabBar QToolButton", "width: 10px; height: 20px; border: 1px solid$5; border-bottom: 0px;"},
    {"QTabBar QToolButton::right-arrow", "image: url(:/scrollright.png);"},
    {"QTabBar QToolButton::right-arrow:!enabled", "image: url(:/scrollright_d.png);"},
    {"QTabBar QToolButton::left-arrow", "image: url(:/scrollleft.png);"},
    {"QTabBar QToolButton::left-arrow:!enabled", "image: url(:/scrollleft_d.png);"},
    {"QSlider", "background-color: transparent;"},
    {"QSlider::handle", "border: 1px solid$5; border-radius: 0px;"},
    {"QProgressBar", "background-color: $3; color: $10; text-align: center;"},
    {"QProgressBar::chunk", "background-color: $19;"},
    {"QComboBox#windowSizeBox", "border: 0px"},
    {"QComboBox::drop-down#windowSizeBox", "border: 0px; background-color: $3;"},
    {"QComboBox#channelSelector",
     "background-color: $8; color: $12; border: 0px;  border-radius: 0px;"},
    {"QComboBox::drop-down#channelSelector",
     "width: 20px; height: 20px; background-color: $8; border: 0px;  border-radius: 0px; image: "
     "url(:/channellistopen.png);"},
    {"QComboBox::drop-down:!enabled#channelSelector", "image: url(:/channellistopen_d.png);"},
    {"#channelWidget",
     "background-color: $2; border: 1px solid$5; border-radius: 0px; color: $12;"},
    {"#channelWidget:!enabled", "background-color: $9; color: $11;"},
    {"#videoView", "background-color:black; border: 1px solid$5; color: white; font-size: 18px;"},
    {"#videoView:!enabled", "background-color: $6; color: $11;"},
    {"QPushButton#videoViewButton", "background-color:transparent; border: 0px;"},
    {"#calendarWidget QToolButton", "border: 0px; border-radius: 0px; background-color: $5;"},
    {"#calendarWidget", "background-color: $5;"},
    {"#searchWidget", "background-image: url(:/search.png); background-repeat: no-repeat; "
                      "background-position: right; padding-right: 20px;"},
};

QString colour(const QStringList &colours, int index)
{
    if (index >= 1 && index <= colours.size())
        return colours.at(index - 1);
    const QStringList defaults = KStyleSheet::defaultColours();
    return index >= 1 && index <= defaults.size() ? defaults.at(index - 1) : QString();
}

} // namespace

QStringList KStyleSheet::defaultColours()
{
    return {QStringLiteral("#efefef"), QStringLiteral("#333333"), QStringLiteral("#ffffff"),
            QStringLiteral("#fefefe"), QStringLiteral("#aaaaaa"), QStringLiteral("#cccccc"),
            QStringLiteral("#9bccfd"), QStringLiteral("#40a0ff"), QStringLiteral("#dddddd"),
            QStringLiteral("#333333"), QStringLiteral("#bbbbbb"), QStringLiteral("#ffffff"),
            QStringLiteral("#aaaaaa"), QStringLiteral("#64ff64"), QStringLiteral("#ffff64"),
            QStringLiteral("#ff6464"), QStringLiteral("#ffffff"), QStringLiteral("#cccccc"),
            QStringLiteral("#00aa00"), QStringLiteral("#aa0000")};
}

QString KStyleSheet::build(const QStringList &colours)
{
    QString sheet;
    sheet.reserve(9000);
    for (const Rule &rule : rules) {
        sheet += QLatin1String(rule.selectors);
        sheet += QLatin1Char('{');
        for (const char *c = rule.declarations; *c; ++c) {
            if (*c != '$') {
                sheet += QLatin1Char(*c);
                continue;
            }
            int index = 0;
            while (c[1] >= '0' && c[1] <= '9')
                index = index * 10 + (*++c - '0');
            sheet += colour(colours, index);
        }
        sheet += QLatin1Char('}');
    }
    return sheet;
}

void KStyleSheet::install()
{
    KResources::init();
    KSettings::setStyleSheetBuilder(&KStyleSheet::build);
}
