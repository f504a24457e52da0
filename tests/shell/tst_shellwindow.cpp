// The main window frame and the settings window: sizes and the maximised state in the per-user
// store, the exit question, the database state, and what the settings window stores.
#include "KAppInfoWidget.h"
#include "KAppSettingsWidget.h"
#include "KDBHandler.h"
#include "KMainWindow.h"
#include "KSettings.h"
#include "KShellTestSupport.h"
#include "KStyleSheet.h"
#include "KTitleWidget.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
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
    void damagedStoredSizeFallsBack();
    void sizeBoxStoresChosenSize();
    void maximiseDisablesSizeBoxAndDragRestores();
    void exitQuestion_data();
    void exitQuestion();
    void databaseStateLabel();
    void aboutWindowOpensAndCloses();
    void settingsCancelStoresNothing();
    void settingsLowReliabilityIsStored();
    void settingsFolderChooser_data();
    void settingsFolderChooser();

private:
    static void dragTitle(KTitleWidget *title, const QPoint &by);
};

void tst_ShellWindow::initTestCase()
{
    KStyleSheet::install();
    // A damaged store, read once by the settings object: no such size entry, no usable size.
    {
        QSettings store = userStore();
        store.clear();
        store.setValue(QStringLiteral("windowID"), 7);
        store.setValue(QStringLiteral("windowWidth"), QStringLiteral("abc"));
        store.setValue(QStringLiteral("windowHeight"), 0);
    }
    QVERIFY(KSettings::instance());
}

void tst_ShellWindow::dragTitle(KTitleWidget *title, const QPoint &by)
{
    const QPoint start(title->width() / 2, title->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, start, title->mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(title, &press);
    const QPoint end = start + by;
    QMouseEvent move(QEvent::MouseMove, end, title->mapToGlobal(end), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(title, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, end, title->mapToGlobal(end), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(title, &release);
}

void tst_ShellWindow::damagedStoredSizeFallsBack()
{
    KMainWindow window;
    QCOMPARE(window.windowSizeBox()->currentIndex(), 2);
    QCOMPARE(window.size(), QSize(1280, 720));
    QSettings store = userStore();
    QCOMPARE(store.value(QStringLiteral("windowID")).toInt(), 2);
    QCOMPARE(store.value(QStringLiteral("windowWidth")).toInt(), 1280);
    QCOMPARE(store.value(QStringLiteral("windowHeight")).toInt(), 720);
}

void tst_ShellWindow::sizeBoxStoresChosenSize()
{
    KMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QComboBox *box = window.windowSizeBox();
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->itemText(0), QStringLiteral("1680 x 900"));
    QCOMPARE(box->itemText(1), QStringLiteral("1440 x 800"));
    QCOMPARE(box->itemText(2), QStringLiteral("1280 x 720"));
    QCOMPARE(box->currentIndex(), 2);
    QCOMPARE(window.size(), QSize(1280, 720));

    box->setCurrentIndex(1);
    QCOMPARE(window.size(), QSize(1440, 800));
    QCOMPARE(window.minimumSize(), QSize(1440, 800));
    QCOMPARE(window.maximumSize(), QSize(1440, 800));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(window.pos(), KToolWindow::centredPosition(QSize(1440, 800), available, QRect()));

    QSettings store = userStore();
    QCOMPARE(store.value(QStringLiteral("windowID")).toInt(), 1);
    QCOMPARE(store.value(QStringLiteral("windowWidth")).toInt(), 1440);
    QCOMPARE(store.value(QStringLiteral("windowHeight")).toInt(), 800);
    QCOMPARE(KSettings::instance()->windowRect(), QRect(1, 0, 1440, 800));

    // The next window starts with the stored size selected.
    KMainWindow second;
    QCOMPARE(second.windowSizeBox()->currentIndex(), 1);
    QCOMPARE(second.size(), QSize(1440, 800));
}

void tst_ShellWindow::maximiseDisablesSizeBoxAndDragRestores()
{
    KMainWindow window;
    window.windowSizeBox()->setCurrentIndex(2);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect available = window.screen()->availableGeometry();

    QTest::mouseClick(window.maximizeButton(), Qt::LeftButton);
    QVERIFY(window.isMaximizedMode());
    QVERIFY(!window.windowSizeBox()->isEnabled());
    QVERIFY(!window.windowSizeLabel()->isEnabled());
    QCOMPARE(window.size(), available.size());
    QCOMPARE(window.pos(), available.topLeft());
    QCOMPARE(window.maximizeButton()->toolTip(), QStringLiteral("Свернуть в окно"));
    QCOMPARE(userStore().value(QStringLiteral("windowMaximized")).toInt(), 1);

    // Dragging the title bar of a maximised window gives it back its size.
    dragTitle(window.titleWidget(), QPoint(30, 20));
    QVERIFY(!window.isMaximizedMode());
    QVERIFY(window.windowSizeBox()->isEnabled());
    QCOMPARE(window.size(), QSize(1280, 720));
    QCOMPARE(window.maximizeButton()->toolTip(), QStringLiteral("Развернуть"));
    QCOMPARE(userStore().value(QStringLiteral("windowMaximized")).toInt(), 0);

    // A window opened while the stored state is maximised opens maximised.
    QTest::mouseClick(window.maximizeButton(), Qt::LeftButton);
    {
        KMainWindow next;
        next.show();
        QVERIFY(QTest::qWaitForWindowExposed(&next));
        QVERIFY(next.isMaximizedMode());
        QVERIFY(!next.windowSizeBox()->isEnabled());
        // The maximise button toggles back to the size in the box.
        QTest::mouseClick(next.maximizeButton(), Qt::LeftButton);
        QVERIFY(!next.isMaximizedMode());
        QCOMPARE(next.size(), QSize(1280, 720));
    }
    QVERIFY(!KSettings::instance()->windowMaximized());
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
    QVERIFY(seen->seen);
    QCOMPARE(seen->kind, int(KMessageWidget::Question));
    QCOMPARE(seen->text, QStringLiteral("Вы уверены?"));
    QCOMPARE(seen->heading, QStringLiteral("Выход из программы"));
    QCOMPARE(closed.count(), answerYes ? 1 : 0);
    if (!answerYes)
        QVERIFY(window.isVisible());

    // A close request from the window system asks the same question.
    auto again = answerNextMessage(false);
    window.QWidget::close();
    QVERIFY(again->seen);
    QCOMPARE(again->text, QStringLiteral("Вы уверены?"));
    QVERIFY(window.isVisible());
    QCOMPARE(closed.count(), answerYes ? 1 : 0);
}

void tst_ShellWindow::databaseStateLabel()
{
    KMainWindow window;
    QVERIFY(window.dbStateTextLabel()->text().isEmpty());

    emit KDBHandler::instance()->connectionStateChanged(false);
    QCOMPARE(window.dbStateTextLabel()->text(), QStringLiteral("Нет связи с БД!"));
    const QPixmap icon = window.dbStateIconLabel()->pixmap(Qt::ReturnByValue);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.size(), QSize(22, 22));

    emit KDBHandler::instance()->connectionStateChanged(true);
    QVERIFY(window.dbStateTextLabel()->text().isEmpty());
    QVERIFY(window.dbStateIconLabel()->pixmap(Qt::ReturnByValue).isNull());
}

void tst_ShellWindow::aboutWindowOpensAndCloses()
{
    KMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.appInfoButton(), Qt::LeftButton);
    QPointer<KAppInfoWidget> info = findTopLevel<KAppInfoWidget>();
    if (!info) {
        // Child tool windows are windows of their own but keep the main window as parent.
        info = window.findChild<KAppInfoWidget *>();
    }
    QVERIFY(info);
    QVERIFY(info->isVisible());
    QCOMPARE(info->title(), QStringLiteral("О программе"));
    QCOMPARE(info->width(), 350);
    QTest::mouseClick(info->closeWindowButton(), Qt::LeftButton);
    QVERIFY(waitFor([&] { return info.isNull(); }));
}

void tst_ShellWindow::settingsCancelStoresNothing()
{
    const QVariantMap before = userStoreSnapshot();
    KSettings *settings = KSettings::instance();
    const QString localPath = settings->localVideoPath();
    const int mode = settings->downloadReliabilityMode();

    auto *window = new KAppSettingsWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<KAppSettingsWidget> guard(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->localVideoPathEdit()->text(), localPath);
    QCOMPARE(window->reliabilityBox()->currentIndex(), mode);
    window->reliabilityBox()->setCurrentIndex(0);
    QTest::mouseClick(window->cancelButton(), Qt::LeftButton);
    QVERIFY(waitFor([&] { return guard.isNull(); }));

    QCOMPARE(userStoreSnapshot(), before);
    QCOMPARE(settings->localVideoPath(), localPath);
    QCOMPARE(settings->downloadReliabilityMode(), mode);
}

void tst_ShellWindow::settingsLowReliabilityIsStored()
{
    {
        KAppSettingsWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.reliabilityBox()->count(), 3);
        QCOMPARE(window.reliabilityBox()->itemText(0), QStringLiteral("Высокое"));
        QCOMPARE(window.reliabilityBox()->itemText(1), QStringLiteral("Среднее"));
        QCOMPARE(window.reliabilityBox()->itemText(2), QStringLiteral("Низкое"));
        window.reliabilityBox()->setCurrentIndex(2);
        QSignalSpy closed(&window, &KToolWindow::closed);
        QTest::mouseClick(window.acceptButton(), Qt::LeftButton);
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window.isVisible());
    }
    QSettings store = userStore();
    QCOMPARE(store.value(QStringLiteral("downloadReliabilityMode")).toInt(), 2);
    // The paths are stored with it, as they stand.
    QCOMPARE(store.value(QStringLiteral("localVideoPath")).toString(),
             KSettings::instance()->localVideoPath());
    QVERIFY(store.contains(QStringLiteral("localSnapshotsPath")));
    QCOMPARE(KSettings::instance()->downloadReliabilityMode(), 2);

    KAppSettingsWidget next;
    QCOMPARE(next.reliabilityBox()->currentText(), QStringLiteral("Низкое"));
}

void tst_ShellWindow::settingsFolderChooser_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("pick");
    QTest::addColumn<QString>("caption");
    QTest::newRow("local, cancelled")
        << 0 << false << QStringLiteral("Каталог для сохранения видео");
    QTest::newRow("local, picked") << 0 << true << QStringLiteral("Каталог для сохранения видео");
    QTest::newRow("remote, picked") << 1 << true << QStringLiteral("Каталог для сохранения видео");
    QTest::newRow("snapshots, cancelled")
        << 2 << false << QStringLiteral("Каталог для сохранения снимков");
    QTest::newRow("snapshots, picked")
        << 2 << true << QStringLiteral("Каталог для сохранения снимков");
}

void tst_ShellWindow::settingsFolderChooser()
{
    QFETCH(int, field);
    QFETCH(bool, pick);
    QFETCH(QString, caption);

    QTemporaryDir start;
    QTemporaryDir target;
    QVERIFY(start.isValid() && target.isValid());
    const QVariantMap before = userStoreSnapshot();

    KAppSettingsWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QLineEdit *edits[] = {window.localVideoPathEdit(), window.remoteVideoPathEdit(),
                          window.snapshotPathEdit()};
    QPushButton *buttons[] = {window.localVideoPathButton(), window.remoteVideoPathButton(),
                              window.snapshotPathButton()};
    QLineEdit *edit = edits[field];
    QVERIFY(edit->isReadOnly());
    edit->setText(start.path());

    QString seenCaption;
    QString seenDirectory;
    bool answered = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        seenCaption = dialog->windowTitle();
        seenDirectory = dialog->directory().absolutePath();
        answered = true;
        if (pick) {
            // Typed into the dialog's name field, as an operator may do.
            auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (nameEdit)
                nameEdit->setText(target.path());
            static_cast<QDialog *>(dialog)->accept();
        } else {
            dialog->reject();
        }
    });
    poll.start();
    QTimer::singleShot(10000, &poll, &QTimer::stop);
    QTest::mouseClick(buttons[field], Qt::LeftButton);

    QVERIFY(answered);
    QCOMPARE(seenCaption, caption);
    QCOMPARE(QDir(seenDirectory), QDir(start.path()));
    QCOMPARE(QDir(edit->text()), QDir(pick ? target.path() : start.path()));
    // Choosing a folder stores nothing before "Принять".
    QCOMPARE(userStoreSnapshot(), before);
}

QTEST_MAIN(tst_ShellWindow)
#include "tst_shellwindow.moc"
