// The main window frame and the settings window: sizes and the maximised state in the per-user
// store, the exit question and what the settings window stores.
#include "KAppSettingsWidget.h"
#include "KMainWindow.h"
#include "KSettings.h"
#include "KShellTestSupport.h"
#include "KStyleSheet.h"

#include <QComboBox>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

using namespace KShellTest;

class tst_ShellWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        KStyleSheet::install();
        // A damaged store, read once by the settings object: no usable size.
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                        QStringLiteral("Velmora Viewer"));
        store.clear();
        store.setValue(QStringLiteral("windowID"), 7);
        store.setValue(QStringLiteral("windowWidth"), QStringLiteral("abc"));
        store.setValue(QStringLiteral("windowHeight"), 0);
        store.sync();
        QVERIFY(KSettings::instance());
    }

    void windowSizeIsStored()
    {
        KMainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The damaged entry falls back to the smallest size.
        QCOMPARE(window.windowSizeBox()->currentIndex(), 2);
        QCOMPARE(window.size(), QSize(1280, 720));
        window.windowSizeBox()->setCurrentIndex(1);
        QCOMPARE(window.size(), QSize(1440, 800));
        const QVariantMap store = userStore();
        QCOMPARE(QList<int>({store.value("windowID").toInt(), store.value("windowWidth").toInt(),
                             store.value("windowHeight").toInt()}),
                 QList<int>({1, 1440, 800}));
        QCOMPARE(KMainWindow().size(), QSize(1440, 800));

        // Maximised, the size box waits; the button toggles back to the size in the box.
        window.windowSizeBox()->setCurrentIndex(2);
        QTest::mouseClick(window.maximizeButton(), Qt::LeftButton);
        QVERIFY(window.isMaximizedMode() && !window.windowSizeBox()->isEnabled());
        QCOMPARE(window.size(), window.screen()->availableGeometry().size());
        QCOMPARE(userStore().value(QStringLiteral("windowMaximized")).toInt(), 1);
        QTest::mouseClick(window.maximizeButton(), Qt::LeftButton);
        QVERIFY(window.windowSizeBox()->isEnabled());
        QCOMPARE(window.size(), QSize(1280, 720));
        QCOMPARE(userStore().value(QStringLiteral("windowMaximized")).toInt(), 0);
    }

    void exitQuestion_data()
    {
        QTest::addColumn<bool>("answerYes");
        QTest::newRow("Нет keeps the program") << false;
        QTest::newRow("Да ends it") << true;
    }

    // The close button and a close request from the window system ask the same question.
    void exitQuestion()
    {
        QFETCH(bool, answerYes);
        KMainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy closed(&window, &KToolWindow::closed);
        auto seen = answerNextMessage(answerYes);
        QTest::mouseClick(window.closeButton(), Qt::LeftButton);
        QCOMPARE(seen->kind, int(KMessageWidget::Question));
        QCOMPARE(seen->text, QStringLiteral("Вы уверены?"));
        QCOMPARE(closed.count(), int(answerYes));
        QVERIFY(answerYes || window.isVisible());
        auto again = answerNextMessage(false);
        window.QWidget::close();
        QCOMPARE(again->text, QStringLiteral("Вы уверены?"));
        QCOMPARE(closed.count(), int(answerYes));
    }

    // "Отменить" stores nothing; "Принять" stores the mode for the next window.
    void settingsReliability()
    {
        const QVariantMap before = userStore();
        const int mode = KSettings::instance()->downloadReliabilityMode();
        QVERIFY(mode != 2);
        for (bool accept : {false, true}) {
            KAppSettingsWidget window;
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.reliabilityBox()->currentIndex(), mode);
            window.reliabilityBox()->setCurrentIndex(2);
            QTest::mouseClick(accept ? window.acceptButton() : window.cancelButton(),
                              Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
            if (!accept)
                QCOMPARE(userStore(), before);
        }
        QCOMPARE(userStore().value(QStringLiteral("downloadReliabilityMode")).toInt(), 2);
        QCOMPARE(KAppSettingsWidget().reliabilityBox()->currentIndex(), 2);
    }
};

QTEST_MAIN(tst_ShellWindow)
#include "tst_shellwindow.moc"
