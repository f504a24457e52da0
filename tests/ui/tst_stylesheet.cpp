#include "KSettings.h"
#include "KStyleSheet.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <QtTest>

namespace {

struct Rule
{
    QString selectors;
    QString declarations;
};

// Splits the sheet into its rules; fails the parse (empty list) on unbalanced braces.
QVector<Rule> parse(const QString &sheet)
{
    QVector<Rule> rules;
    int at = 0;
    while (at < sheet.size()) {
        const int open = sheet.indexOf(QLatin1Char('{'), at);
        const int close = sheet.indexOf(QLatin1Char('}'), at);
        const int nextOpen = open < 0 ? -1 : sheet.indexOf(QLatin1Char('{'), open + 1);
        if (open < 0 || close < open || (nextOpen != -1 && nextOpen < close))
            return {};
        rules.append({sheet.mid(at, open - at), sheet.mid(open + 1, close - open - 1)});
        at = close + 1;
    }
    return rules;
}

int indexOfRule(const QVector<Rule> &rules, const QString &selectors, int from = 0)
{
    for (int i = from; i < rules.size(); ++i) {
        if (rules.at(i).selectors == selectors)
            return i;
    }
    return -1;
}

QStringList markedColours()
{
    // Colours that tell their index: colour n is "#c0ffnn" in decimal digits.
    QStringList colours;
    for (int i = 1; i <= 20; ++i)
        colours << QStringLiteral("#c0ff%1").arg(i, 2, 10, QLatin1Char('0'));
    return colours;
}

QtMessageHandler previousHandler = nullptr;
QStringList styleWarnings;

void catchStyleWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QLatin1String("style"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("parse"), Qt::CaseInsensitive))
        styleWarnings << text;
    previousHandler(type, context, text);
}

} // namespace

class TestStyleSheet : public QObject
{
    Q_OBJECT

private slots:
    void beginsWithTheWindowRules();
    void ruleCountAndOrder();
    void trickyRulesVerbatim_data();
    void trickyRulesVerbatim();
    void coloursGoWhereTheirIndexSays_data();
    void coloursGoWhereTheirIndexSays();
    void shortColourListFallsBackToDefaults();
    void everyReferencedPictureExists();
    void qtParsesTheSheet();
    void installHandsTheBuilderToTheSettings();
};

void TestStyleSheet::beginsWithTheWindowRules()
{
    const QString sheet = KStyleSheet::build(KStyleSheet::defaultColours());
    QVERIFY(sheet.startsWith(
        QStringLiteral("QWidget, #frameWidget{background-color: #efefef; font: 10pt \"Arial\"; "
                       "selection-background-color: #9bccfd; selection-color: #333333;}"
                       "#frameWidget{border: 1px solid#aaaaaa;}"
                       "QGroupBox{border: 1px solid#aaaaaa; border-radius: 0px; margin-top: 2ex; "
                       "font: bold;}")));
    QVERIFY(sheet.endsWith(QStringLiteral(
        "#searchWidget{background-image: url(:/search.png); background-repeat: no-repeat; "
        "background-position: right; padding-right: 20px;}")));
    QVERIFY(!sheet.contains(QLatin1Char('\n')));
    QVERIFY(!sheet.contains(QLatin1Char('$')));
}

void TestStyleSheet::ruleCountAndOrder()
{
    const QVector<Rule> rules = parse(KStyleSheet::build(KStyleSheet::defaultColours()));
    QCOMPARE(rules.size(), 81);

    // Rules whose order decides which one wins.
    const QStringList ordered{
        QStringLiteral("QWidget, #frameWidget"),
        QStringLiteral("#frameWidget"),
        QStringLiteral("QComboBox::drop-down, QDateTimeEdit::drop-down"),
        QStringLiteral("QComboBox::drop-down:!enabled, QDateTimeEdit::drop-down:!enabled"),
        QStringLiteral("QMenu::item, QTreeView::item, QComboBox::item"),
        QStringLiteral("QPushButton#closeButton, QTabBar::close-button"),
        QStringLiteral("QPushButton#appInfoButton:hover"),
        QStringLiteral("QLabel, QCheckBox"),
        QStringLiteral("QLabel#titleLabel_L"),
        QStringLiteral("QLabel#titleLabel_S"),
        QStringLiteral("QCheckBox::indicator"),
        QStringLiteral("QTableView::indicator"),
        QStringLiteral("QTreeView::branch:has-children"),
        QStringLiteral("QTreeView::branch:closed:has-children"),
        QStringLiteral("QHeaderView::section:checked"),
        QStringLiteral("QTabBar::tab"),
        QStringLiteral("QTabBar::tab:selected"),
        QStringLiteral("QProgressBar::chunk"),
        QStringLiteral("#channelWidget"),
        QStringLiteral("#channelWidget:!enabled"),
        QStringLiteral("#videoView"),
        QStringLiteral("#videoView:!enabled"),
        QStringLiteral("#calendarWidget QToolButton"),
        QStringLiteral("#calendarWidget"),
        QStringLiteral("#searchWidget"),
    };
    int previous = -1;
    for (const QString &selectors : ordered) {
        const int index = indexOfRule(rules, selectors, previous + 1);
        QVERIFY2(index > previous, qPrintable(selectors));
        previous = index;
    }
    QCOMPARE(indexOfRule(rules, QStringLiteral("#searchWidget")), 80);

    // The long button rules come in the state order normal, hover, pressed, disabled.
    int normal = -1, hover = -1, pressed = -1, disabled = -1;
    for (int i = 0; i < rules.size(); ++i) {
        const QString &s = rules.at(i).selectors;
        if (s.startsWith(QLatin1String("QPushButton, QToolButton, QToolButton:!checked")))
            normal = i;
        else if (s.startsWith(QLatin1String("QPushButton:hover, ")))
            hover = i;
        else if (s.startsWith(QLatin1String("QPushButton:pressed, ")))
            pressed = i;
        else if (s.startsWith(QLatin1String("QPushButton:!enabled, ")))
            disabled = i;
    }
    QVERIFY(normal >= 0);
    QCOMPARE(hover, normal + 1);
    QCOMPARE(pressed, normal + 2);
    QCOMPARE(disabled, normal + 3);
}

void TestStyleSheet::trickyRulesVerbatim_data()
{
    QTest::addColumn<QString>("rule");
    QTest::newRow("double blank before left") << QStringLiteral(
        "QGroupBox::title{padding-top: -6px; subcontrol-origin: margin; subcontrol-position: top "
        "left;  left: 20px;}");
    QTest::newRow("no semicolon after separator colour")
        << QStringLiteral("QFrame[frameShape=\"4\"], QFrame[frameShape=\"5\"]{color: #aaaaaa}");
    QTest::newRow("blank before colour, no final semicolon")
        << QStringLiteral("QTableView::indicator{border: 1px solid #aaaaaa; border-radius: 0px; "
                          "width: 12px; height: 12px}");
    QTest::newRow("double blanks in item view colours")
        << QStringLiteral("selection-background-color:  #9bccfd; selection-color:  #333333;}");
    QTest::newRow("double blank in selector list")
        << QStringLiteral("QPushButton, QToolButton, QToolButton:!checked,  QComboBox::drop-down,");
    QTest::newRow("window size box without semicolon")
        << QStringLiteral("QComboBox#windowSizeBox{border: 0px}");
    QTest::newRow("channel selector double blank")
        << QStringLiteral("QComboBox#channelSelector{background-color: #40a0ff; color: #ffffff; "
                          "border: 0px;  border-radius: 0px;}");
    QTest::newRow("video view black without blank")
        << QStringLiteral("#videoView{background-color:black; border: 1px solid#aaaaaa; color: "
                          "white; font-size: 18px;}");
    QTest::newRow("video button") << QStringLiteral(
        "QPushButton#videoViewButton{background-color:transparent; border: 0px;}");
    QTest::newRow("header sections") << QStringLiteral(
        "QHeaderView::section, QTableCornerButton::section{background-color: #efefef; "
        "border-style: outset; border-right: 1px solid #aaaaaa; border-bottom: 1px solid "
        "#aaaaaa; padding: 5px; padding-top: 5px;}");
    QTest::newRow("tab") << QStringLiteral("QTabBar::tab{padding: 5px; font: bold 14px; width: "
                                           "220px; border: 1px solid [c5]; border-bottom: 0px;}")
                                .replace(QLatin1String("[c5]"), QLatin1String("#aaaaaa"));
    QTest::newRow("disabled channel arrow")
        << QStringLiteral("QComboBox::drop-down:!enabled#channelSelector{image: "
                          "url(:/channellistopen_d.png);}");
    QTest::newRow("hover selectors with double colon")
        << QStringLiteral("QPushButton:hover, QToolButton::hover, QComboBox::drop-down:hover,");
}

void TestStyleSheet::trickyRulesVerbatim()
{
    QFETCH(QString, rule);
    const QString sheet = KStyleSheet::build(KStyleSheet::defaultColours());
    QVERIFY2(sheet.contains(rule), qPrintable(rule));
}

void TestStyleSheet::coloursGoWhereTheirIndexSays_data()
{
    QTest::addColumn<QString>("rule");
    QTest::newRow("1 and 7 and 10")
        << QStringLiteral("QWidget, #frameWidget{background-color: #c0ff01; font: 10pt \"Arial\"; "
                          "selection-background-color: #c0ff07; selection-color: #c0ff10;}");
    QTest::newRow("2 and 12") << QStringLiteral(
        "#channelWidget{background-color: #c0ff02; border: 1px solid#c0ff05; border-radius: 0px; "
        "color: #c0ff12;}");
    QTest::newRow("3 and 11") << QStringLiteral(
        "QMenu::item:!enabled, QTreeView::item:!enabled, QComboBox::item:!enabled"
        "{background-color: #c0ff03; color: #c0ff11;}");
    QTest::newRow("4") << QStringLiteral("QCheckBox::indicator:!enabled, "
                                         "QCheckBox::indicator:unchecked:!enabled, "
                                         "QTableView::indicator:!enabled, "
                                         "QTableView::indicator:unchecked:!enabled"
                                         "{background-color: #c0ff04;}");
    QTest::newRow("6") << QStringLiteral("#videoView:!enabled{background-color: #c0ff06; color: "
                                         "#c0ff11;}");
    QTest::newRow("8 and 12") << QStringLiteral("QTabBar::tab:selected{background-color: "
                                                "#c0ff08; color: #c0ff12;}");
    QTest::newRow("9 and 11") << QStringLiteral("#channelWidget:!enabled{background-color: "
                                                "#c0ff09; color: #c0ff11;}");
    QTest::newRow("19") << QStringLiteral("QProgressBar::chunk{background-color: #c0ff19;}");
}

void TestStyleSheet::coloursGoWhereTheirIndexSays()
{
    QFETCH(QString, rule);
    const QString sheet = KStyleSheet::build(markedColours());
    QVERIFY2(sheet.contains(rule), qPrintable(rule));
    // Only colours the sheet uses appear, and no default leaks in.
    QVERIFY(!sheet.contains(QLatin1String("#efefef")));
    for (int unused : {13, 14, 15, 16, 17, 18, 20})
        QVERIFY(!sheet.contains(QStringLiteral("#c0ff%1").arg(unused)));
}

void TestStyleSheet::shortColourListFallsBackToDefaults()
{
    const QString sheet = KStyleSheet::build({QStringLiteral("#123456")});
    QVERIFY(sheet.startsWith(QLatin1String("QWidget, #frameWidget{background-color: #123456;")));
    QVERIFY(sheet.contains(QLatin1String("#frameWidget{border: 1px solid#aaaaaa;}")));
    QVERIFY(sheet.contains(QLatin1String("QProgressBar::chunk{background-color: #00aa00;}")));
    QCOMPARE(KStyleSheet::build({}), KStyleSheet::build(KStyleSheet::defaultColours()));
}

void TestStyleSheet::everyReferencedPictureExists()
{
    const QString sheet = KStyleSheet::build(KStyleSheet::defaultColours());
    KStyleSheet::install();
    QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    QSet<QString> paths;
    for (auto it = url.globalMatch(sheet); it.hasNext();)
        paths.insert(it.next().captured(1));
    QCOMPARE(paths.size(), 25);
    for (const QString &path : paths)
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
}

void TestStyleSheet::qtParsesTheSheet()
{
    // Qt reports a sheet it cannot parse with a warning when a widget is polished with it.
    styleWarnings.clear();
    previousHandler = qInstallMessageHandler(catchStyleWarnings);
    QWidget window;
    window.setStyleSheet(KStyleSheet::build(KStyleSheet::defaultColours()));
    auto *layout = new QVBoxLayout(&window);
    auto *label = new QLabel(QStringLiteral("x"), &window);
    label->setObjectName(QStringLiteral("titleLabel_L"));
    layout->addWidget(label);
    layout->addWidget(new QPushButton(QStringLiteral("y"), &window));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    qInstallMessageHandler(previousHandler);
    QVERIFY2(styleWarnings.isEmpty(), qPrintable(styleWarnings.join(QLatin1Char('\n'))));
    // The rules took effect: bold 16 pt title label.
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().pointSize(), 16);
}

void TestStyleSheet::installHandsTheBuilderToTheSettings()
{
    KStyleSheet::install();
    KSettings *settings = KSettings::instance();
    const QString expected = KStyleSheet::build(settings->themeColors());
    QCOMPARE(settings->styleSheet(), expected);
    QCOMPARE(qApp->styleSheet(), expected);
}

QTEST_MAIN(TestStyleSheet)
#include "tst_stylesheet.moc"
