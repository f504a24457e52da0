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
    void themeColoursFillThePlaceholders()
    {
        // Colour n given as "#c0ffnn": a placeholder read wrongly ("$12" as "$1" then "2") or a
        // shifted index shows in the digits.
        QStringList colours;
        for (int n = 1; n <= 20; ++n)
            colours << QStringLiteral("#c0ff%1").arg(n, 2, 10, QLatin1Char('0'));
        const QString sheet = KStyleSheet::build(colours);
        QVERIFY(!sheet.contains(QLatin1Char('$')));
        QSet<QString> used;
        QRegularExpression marked(QStringLiteral("#c0ff(\\d+)"));
        for (auto it = marked.globalMatch(sheet); it.hasNext();)
            used.insert(it.next().captured(1));
        QVERIFY2(used.contains("01") && used.contains("12") && used.contains("19") &&
                     std::all_of(used.cbegin(), used.cend(),
                                 [](const QString &d) { return d.size() == 2; }),
                 qPrintable(QStringList(used.values()).join(' ')));
        QVERIFY(!sheet.contains(QLatin1String("#efefef"))); // no default leaks in

        // Missing entries take the default colours.
        QCOMPARE(KStyleSheet::build(colours.mid(0, 4)),
                 KStyleSheet::build(colours.mid(0, 4) + KStyleSheet::defaultColours().mid(4)));
    }

    void installedSheetParsesAndEveryPictureLoads()
    {
        KStyleSheet::install(); // registers the pictures too
        // Built from the settings' colours, which are the defaults here.
        const QString sheet = KStyleSheet::build(KSettings::instance()->themeColors());
        QCOMPARE(qApp->styleSheet(), sheet);
        QSet<QString> paths;
        QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
        for (auto it = url.globalMatch(sheet); it.hasNext();)
            paths.insert(it.next().captured(1));
        QVERIFY(paths.size() > 10);
        for (const QString &path : paths)
            QVERIFY2(!QImage(path).isNull(), qPrintable(path));

        // Qt reports a sheet it cannot parse with a warning when a widget is polished with it.
        styleWarnings.clear();
        previousHandler = qInstallMessageHandler(catchStyleWarnings);
        QWidget window;
        window.setStyleSheet(sheet);
        auto *label = new QLabel("x", &window);
        label->setObjectName("titleLabel_L");
        (new QVBoxLayout(&window))->addWidget(label);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        qInstallMessageHandler(previousHandler);
        QVERIFY2(styleWarnings.isEmpty(), qPrintable(styleWarnings.join('\n')));
        // The rules took effect: bold 16 pt title label.
        QCOMPARE(qMakePair(label->font().bold(), label->font().pointSize()), qMakePair(true, 16));
    }
};

QTEST_MAIN(TestStyleSheet)
#include "tst_stylesheet.moc"
