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
    void themeColoursFillThePlaceholders();
    void qtParsesTheSheetAndEveryPictureLoads();
    void installHandsTheBuilderToTheSettings();
};

void TestStyleSheet::themeColoursFillThePlaceholders()
{
    // Colour n given as "#c0ffnn": a placeholder read wrongly ("$12" as "$1" then "2") or a
    // shifted index shows in the digits.
    QStringList colours;
    for (int n = 1; n <= 20; ++n)
        colours << QStringLiteral("#c0ff%1").arg(n, 2, 10, QLatin1Char('0'));
    const QString sheet = KStyleSheet::build(colours);
    QVERIFY(!sheet.contains(QLatin1Char('$')));
    QSet<int> used;
    QRegularExpression marked(QStringLiteral("#c0ff(\\d+)"));
    for (auto it = marked.globalMatch(sheet); it.hasNext();) {
        const QString digits = it.next().captured(1);
        QCOMPARE(digits.size(), 2);
        used.insert(digits.toInt());
    }
    QVERIFY(used.contains(1) && used.contains(12) && used.contains(19));
    QVERIFY(!sheet.contains(QLatin1String("#efefef"))); // no default leaks in

    // Missing entries take the default colours.
    QCOMPARE(KStyleSheet::build(colours.mid(0, 4)),
             KStyleSheet::build(colours.mid(0, 4) + KStyleSheet::defaultColours().mid(4)));
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
