#include "KSettings.h"
#include "KStyleSheet.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <QtTest>

namespace {

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
    void rulesVerbatim_data();
    void rulesVerbatim();
    void qtParsesTheSheetAndEveryPictureLoads();
    void installHandsTheBuilderToTheSettings();
};

void TestStyleSheet::rulesVerbatim_data()
{
    QTest::addColumn<bool>("marked"); // colour n given as "#c0ffnn", to see which index goes where
    QTest::addColumn<QString>("rule");
    QTest::newRow("window rules first")
        << false
        << QStringLiteral("QWidget, #frameWidget{background-color: #efefef; font: 10pt \"Arial\"; "
                          "selection-background-color: #9bccfd; selection-color: #333333;}"
                          "#frameWidget{border: 1px solid#aaaaaa;}");
    QTest::newRow("double blank before left")
        << false
        << QStringLiteral(
               "subcontrol-origin: margin; subcontrol-position: top left;  left: 20px;}");
    QTest::newRow("no final semicolon")
        << false
        << QStringLiteral("QFrame[frameShape=\"4\"], QFrame[frameShape=\"5\"]{color: #aaaaaa}");
    QTest::newRow("video view black without blank")
        << false
        << QStringLiteral("#videoView{background-color:black; border: 1px solid#aaaaaa; color: "
                          "white; font-size: 18px;}");
    QTest::newRow("colours 2, 5, 12")
        << true
        << QStringLiteral("#channelWidget{background-color: #c0ff02; border: 1px solid#c0ff05; "
                          "border-radius: 0px; color: #c0ff12;}");
    QTest::newRow("colours 3, 11") << true
                                   << QStringLiteral("QComboBox::item:!enabled{background-color: "
                                                     "#c0ff03; color: #c0ff11;}");
    QTest::newRow("colour 19") << true
                               << QStringLiteral("QProgressBar::chunk{background-color: #c0ff19;}");
}

void TestStyleSheet::rulesVerbatim()
{
    QFETCH(bool, marked);
    QFETCH(QString, rule);
    QStringList colours = KStyleSheet::defaultColours();
    for (int i = 0; marked && i < colours.size(); ++i)
        colours[i] = QStringLiteral("#c0ff%1").arg(i + 1, 2, 10, QLatin1Char('0'));
    const QString sheet = KStyleSheet::build(colours);
    QVERIFY2(sheet.contains(rule), qPrintable(rule));
    QCOMPARE(sheet.count(QLatin1Char('{')), 81);
    QVERIFY(sheet.endsWith(QStringLiteral("#searchWidget{background-image: url(:/search.png); "
                                          "background-repeat: no-repeat; background-position: "
                                          "right; padding-right: 20px;}")));
    if (marked) // no default leaks in
        QVERIFY(!sheet.contains(QLatin1String("#efefef")));
}

void TestStyleSheet::qtParsesTheSheetAndEveryPictureLoads()
{
    const QString sheet = KStyleSheet::build(KStyleSheet::defaultColours());
    KStyleSheet::install(); // registers the pictures too
    QSet<QString> paths;
    QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    for (auto it = url.globalMatch(sheet); it.hasNext();)
        paths.insert(it.next().captured(1));
    QCOMPARE(paths.size(), 25);
    for (const QString &path : paths)
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));

    // Qt reports a sheet it cannot parse with a warning when a widget is polished with it.
    styleWarnings.clear();
    previousHandler = qInstallMessageHandler(catchStyleWarnings);
    QWidget window;
    window.setStyleSheet(sheet);
    auto *label = new QLabel(QStringLiteral("x"), &window);
    label->setObjectName(QStringLiteral("titleLabel_L"));
    (new QVBoxLayout(&window))->addWidget(label);
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
    const QString expected = KStyleSheet::build(KSettings::instance()->themeColors());
    QCOMPARE(KSettings::instance()->styleSheet(), expected);
    QCOMPARE(qApp->styleSheet(), expected);
}

QTEST_MAIN(TestStyleSheet)
#include "tst_stylesheet.moc"
