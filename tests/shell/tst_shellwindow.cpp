// The main window frame and the settings window: sizes and the maximised state in the per-user
// store, the exit question, the database state, and what the settings window stores.
#include "KAppSettingsWidget.h"
#include "KDBHandler.h"
#include "KMainWindow.h"
#include "KSettings.h"
#include "KShellTestSupport.h"
#include "KStyleSheet.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace KShellTest;

class tst_ShellWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sizeBoxStoresChosenSize();
    void maximiseDisablesSizeBox();
    void exitQuestion_data();
    void exitQuestion();
    void databaseStateLabel();
    void settingsCancelStoresNothing();
    void settingsLowReliabilityIsStored();
    void settingsFolderChooser_data();
    void settingsFolderChooser();
};

void tst_ShellWindow::initTestCase()
{
    KStyleSheet::install();
    // A damaged store, read once by the settings object: no such size entry, no usable size.
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tarnwick"),
                    QStringLiteral("Velmora Viewer"));
    store.clear();
    store.setValue(QStringLiteral("windowID"), 7);
    store.setValue(QStringLiteral("windowWidth"), QStringLiteral("abc"));
    store.setValue(QStringLiteral("windowHeight"), 0);
    store.sync();
    QVERIFY(KSettings::instance());
}

void tst_ShellWindow::sizeBoxStoresChosenSize()
{
    KMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The damaged entry falls back to the smallest size.
    QCOMPARE(window.windowSizeBox()->currentIndex(), 2);
    QCOMPARE(window.size(), QSize(1280, 720));

    window.windowSizeBox()->setCurrentIndex(1);
    QCOMPARE(window.windowSizeBox()->currentText(), QStringLiteral("1440 x 800"));
    QCOMPARE(window.size(), QSize(1440, 800));
    const QVariantMap store = userStore();
    QCOMPARE(store.value(QStringLiteral("windowID")).toInt(), 1);
    QCOMPARE(store.value(QStringLiteral("windowWidth")).toInt(), 1440);
    QCOMPARE(store.value(QStringLiteral("windowHeight")).toInt(), 800);
    // The next window starts with the stored size.
    KMainWindow second;
    QCOMPARE(second.size(), QSize(1440, 800));
}

void tst_ShellWindow::maximiseDisablesSizeBox()
{
    KMainWindow window;
    window.windowSizeBox()->setCurrentIndex(2);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.maximizeButton(), Qt::LeftButton);
    QVERIFY(window.isMaximizedMode());
    QVERIFY(!window.windowSizeBox()->isEnabled());
    QCOMPARE(window.size(), window.screen()->availableGeometry().size());
    QCOMPARE(userStore().value(QStringLiteral("windowMaximized")).toInt(), 1);
    // The button toggles back to the size in the box.
    QTest::mouseClick(window.maximizeButton(), Qt::LeftButton);
    QVERIFY(window.windowSizeBox()->isEnabled());
    QCOMPARE(window.size(), QSize(1280, 720));
    QCOMPARE(userStore().value(QStringLiteral("windowMaximized")).toInt(), 0);
}

void tst_ShellWindow::exitQuestion_data()
{
    QTest::addColumn<bool>("answerYes");
    QTest::newRow("Нет keeps the program") << false;
    QTest::newRow("Да ends it") << true;
}

void tst_ShellWindow::exitQuestion()
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
    QCOMPARE(closed.count(), answerYes ? 1 : 0);
    if (!answerYes)
        QVERIFY(window.isVisible());

    // A close request from the window system asks the same question.
    auto again = answerNextMessage(false);
    window.QWidget::close();
    QCOMPARE(again->text, QStringLiteral("Вы уверены?"));
    QCOMPARE(closed.count(), answerYes ? 1 : 0);
}

void tst_ShellWindow::databaseStateLabel()
{
    KMainWindow window;
    QVERIFY(window.dbStateTextLabel()->text().isEmpty());
    emit KDBHandler::instance()->connectionStateChanged(false);
    QCOMPARE(window.dbStateTextLabel()->text(), QStringLiteral("Нет связи с БД!"));
    QVERIFY(!window.dbStateIconLabel()->pixmap(Qt::ReturnByValue).isNull());
    emit KDBHandler::instance()->connectionStateChanged(true);
    QVERIFY(window.dbStateTextLabel()->text().isEmpty());
    QVERIFY(window.dbStateIconLabel()->pixmap(Qt::ReturnByValue).isNull());
}

void tst_ShellWindow::settingsCancelStoresNothing()
{
    const QVariantMap before = userStore();
    const int mode = KSettings::instance()->downloadReliabilityMode();
    auto *window = new KAppSettingsWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<KAppSettingsWidget> guard(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->reliabilityBox()->currentIndex(), mode);
    window->reliabilityBox()->setCurrentIndex(mode == 0 ? 1 : 0);
    QTest::mouseClick(window->cancelButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return guard.isNull(); }, 5000));
    QCOMPARE(userStore(), before);
    QCOMPARE(KSettings::instance()->downloadReliabilityMode(), mode);
}

void tst_ShellWindow::settingsLowReliabilityIsStored()
{
    {
        KAppSettingsWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.reliabilityBox()->setCurrentIndex(2);
        QCOMPARE(window.reliabilityBox()->currentText(), QStringLiteral("Низкое"));
        QTest::mouseClick(window.acceptButton(), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }
    QCOMPARE(userStore().value(QStringLiteral("downloadReliabilityMode")).toInt(), 2);
    QCOMPARE(KSettings::instance()->downloadReliabilityMode(), 2);
    KAppSettingsWidget next;
    QCOMPARE(next.reliabilityBox()->currentIndex(), 2);
}

void tst_ShellWindow::settingsFolderChooser_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("pick");
    QTest::addColumn<QString>("caption");
    QTest::newRow("local, cancelled") << 0 << false << "Каталог для сохранения видео";
    QTest::newRow("remote, picked") << 1 << true << "Каталог для сохранения видео";
    QTest::newRow("snapshots, cancelled") << 2 << false << "Каталог для сохранения снимков";
}

void tst_ShellWindow::settingsFolderChooser()
{
    QFETCH(int, field);
    QFETCH(bool, pick);
    QFETCH(QString, caption);
    QTemporaryDir start;
    QTemporaryDir target;
    const QVariantMap before = userStore();
    KAppSettingsWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QLineEdit *edit = QList<QLineEdit *>{window.localVideoPathEdit(), window.remoteVideoPathEdit(),
                                         window.snapshotPathEdit()}
                          .at(field);
    QPushButton *button =
        QList<QPushButton *>{window.localVideoPathButton(), window.remoteVideoPathButton(),
                             window.snapshotPathButton()}
            .at(field);
    edit->setText(start.path());

    QString seenCaption;
    QString seenDirectory;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        seenCaption = dialog->windowTitle();
        seenDirectory = dialog->directory().absolutePath();
        if (!pick)
            return dialog->reject();
        // Typed into the dialog's name field, as an operator may do.
        if (auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            nameEdit->setText(target.path());
        static_cast<QDialog *>(dialog)->accept();
    });
    poll.start();
    QTimer::singleShot(10000, &poll, &QTimer::stop);
    QTest::mouseClick(button, Qt::LeftButton);

    QCOMPARE(seenCaption, caption);
    QCOMPARE(QDir(seenDirectory), QDir(start.path()));
    QCOMPARE(QDir(edit->text()), QDir(pick ? target.path() : start.path()));
    // Choosing a folder stores nothing before "Принять".
    QCOMPARE(userStore(), before);
}

QTEST_MAIN(tst_ShellWindow)
#include "tst_shellwindow.moc"
