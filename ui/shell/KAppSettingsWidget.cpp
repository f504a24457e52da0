#include "KAppSettingsWidget.h"

#include "KSettings.h"
#include "KUserLogHandler.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

KAppSettingsWidget::KAppSettingsWidget(QWidget *parent) : KToolWindow(parent)
{
    KSettings *settings = KSettings::instance();
    setTitle(QStringLiteral("Настройки"));

    m_acceptButton = new QPushButton(QStringLiteral("Принять"));
    m_acceptButton->setFixedWidth(100);
    m_cancelButton = new QPushButton(QStringLiteral("Отменить"));
    m_cancelButton->setFixedWidth(100);

    m_localVideoPathEdit = new QLineEdit(settings->localVideoPath());
    m_remoteVideoPathEdit = new QLineEdit(settings->remoteVideoPath());
    m_snapshotPathEdit = new QLineEdit(settings->localSnapshotsPath());
    for (QLineEdit *edit : {m_localVideoPathEdit, m_remoteVideoPathEdit, m_snapshotPathEdit}) {
        edit->setReadOnly(true);
        edit->setMinimumWidth(300);
    }
    m_localVideoPathButton = makeChangeButton();
    m_remoteVideoPathButton = makeChangeButton();
    m_snapshotPathButton = makeChangeButton();

    m_reliabilityBox = new QComboBox;
    m_reliabilityBox->addItems(
        {QStringLiteral("Высокое"), QStringLiteral("Среднее"), QStringLiteral("Низкое")});
    const int mode = settings->downloadReliabilityMode();
    m_reliabilityBox->setCurrentIndex(mode >= 0 && mode < m_reliabilityBox->count() ? mode : 1);

    auto *filesBox = new QGroupBox(QStringLiteral("Сохранение файлов"));
    auto *filesLayout = new QGridLayout(filesBox);
    filesLayout->setContentsMargins(10, 20, 10, 10);
    const struct
    {
        QString label;
        QLineEdit *edit;
        QPushButton *button;
    } rows[] = {
        {QStringLiteral("Путь к локальным видеофайлам:"), m_localVideoPathEdit,
         m_localVideoPathButton},
        {QStringLiteral("Путь к удаленным видеофайлам:"), m_remoteVideoPathEdit,
         m_remoteVideoPathButton},
        {QStringLiteral("Путь к снимкам:"), m_snapshotPathEdit, m_snapshotPathButton},
    };
    int row = 0;
    for (const auto &entry : rows) {
        filesLayout->addWidget(new QLabel(entry.label), row, 0);
        filesLayout->addWidget(entry.edit, row, 1);
        filesLayout->addWidget(entry.button, row, 2);
        ++row;
    }

    auto *downloadBox = new QGroupBox(QStringLiteral("Загрузка видео"));
    auto *downloadLayout = new QHBoxLayout(downloadBox);
    downloadLayout->setContentsMargins(10, 20, 10, 10);
    downloadLayout->addWidget(new QLabel(QStringLiteral("Обеспечение надежности загрузки:")));
    downloadLayout->addStretch();
    downloadLayout->addWidget(m_reliabilityBox);

    auto *buttonLayout = new QHBoxLayout;
    buttonLayout->addStretch();
    buttonLayout->addWidget(m_acceptButton);
    buttonLayout->addWidget(m_cancelButton);

    auto *layout = new QVBoxLayout(contentWidget());
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    layout->addWidget(filesBox);
    layout->addWidget(downloadBox);
    layout->addLayout(buttonLayout);

    connect(m_localVideoPathButton, &QPushButton::clicked, this,
            &KAppSettingsWidget::changeLocalVideoPath);
    connect(m_remoteVideoPathButton, &QPushButton::clicked, this,
            &KAppSettingsWidget::changeRemoteVideoPath);
    connect(m_snapshotPathButton, &QPushButton::clicked, this,
            &KAppSettingsWidget::changeSnapshotPath);
    connect(m_acceptButton, &QPushButton::clicked, this, &KAppSettingsWidget::confirm);
    connect(m_cancelButton, &QPushButton::clicked, this, &KAppSettingsWidget::close);
}

void KAppSettingsWidget::changeLocalVideoPath()
{
    choose(m_localVideoPathEdit, QStringLiteral("Каталог для сохранения видео"));
}

void KAppSettingsWidget::changeRemoteVideoPath()
{
    choose(m_remoteVideoPathEdit, QStringLiteral("Каталог для сохранения видео"));
}

void KAppSettingsWidget::changeSnapshotPath()
{
    choose(m_snapshotPathEdit, QStringLiteral("Каталог для сохранения снимков"));
}

void KAppSettingsWidget::confirm()
{
    KSettings *settings = KSettings::instance();
    settings->setDownloadReliabilityMode(m_reliabilityBox->currentIndex());
    settings->setLocalVideoPath(m_localVideoPathEdit->text());
    settings->setRemoteVideoPath(m_remoteVideoPathEdit->text());
    settings->setLocalSnapshotsPath(m_snapshotPathEdit->text());
    KUserLogHandler::instance()->write(
        1, QStringLiteral("Изменение настроек приложения\n\n") +
               QStringLiteral("Путь к локальным видеофайлам: ") + m_localVideoPathEdit->text() +
               QStringLiteral("\n") + QStringLiteral("Путь к удаленным видеофайлам: ") +
               m_remoteVideoPathEdit->text() + QStringLiteral("\n") +
               QStringLiteral("Путь к снимкам: ") + m_snapshotPathEdit->text() +
               QStringLiteral("\n") + QStringLiteral("Обеспечение надежности загрузки: ") +
               m_reliabilityBox->currentText());
    close();
}

void KAppSettingsWidget::choose(QLineEdit *edit, const QString &caption)
{
    QPointer<KAppSettingsWidget> self(this);
    const QString folder = QFileDialog::getExistingDirectory(
        this, caption, edit->text(), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    // The dialog runs its own loop; the window may have gone meanwhile.
    if (!self)
        return;
    if (!folder.isEmpty())
        edit->setText(folder);
}

QPushButton *KAppSettingsWidget::makeChangeButton()
{
    auto *button = new QPushButton;
    button->setFixedSize(22, 22);
    button->setIcon(QIcon(QStringLiteral(":/edit.png")));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(QStringLiteral("Изменить..."));
    return button;
}
