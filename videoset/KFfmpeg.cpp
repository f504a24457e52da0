#include "KFfmpeg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

QString KFfmpeg::defaultProgram()
{
    const QString besideProgram =
        QCoreApplication::applicationDirPath() + QStringLiteral("/ffmpeg");
    const QFileInfo beside(besideProgram);
    if (beside.isFile() && beside.isExecutable())
        return besideProgram;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    return onPath.isEmpty() ? besideProgram : onPath;
}

KFfmpeg::KFfmpeg(const QString &program) : m_program(program) {}

bool KFfmpeg::isAvailable() const
{
    if (!m_program.contains(QLatin1Char('/')))
        return !QStandardPaths::findExecutable(m_program).isEmpty();
    const QFileInfo file(m_program);
    return file.isFile() && file.isExecutable();
}

KFfmpeg::Result KFfmpeg::run(const QStringList &arguments, const QString &outputPath,
                             qint64 timeout, const CancelTest &cancelled) const
{
    QProcess process;
    // Nothing is read from it: an unread pipe must never hold it up.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(m_program, arguments);
    if (!process.waitForStarted(startTimeout)) {
        process.kill();
        process.waitForFinished(5000);
        return NotStarted;
    }
    Result result = Failed;
    bool finished = false;
    if (timeout < 0 && !cancelled) {
        finished = process.waitForFinished(-1);
    } else {
        const QDeadlineTimer deadline(timeout < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                  : QDeadlineTimer(timeout));
        while (process.state() != QProcess::NotRunning && !process.waitForFinished(pollInterval)) {
            const bool stop = cancelled && cancelled();
            if (stop || deadline.hasExpired()) {
                process.kill();
                process.waitForFinished(5000);
                if (stop)
                    result = Cancelled;
                break;
            }
        }
        finished = result != Cancelled && process.state() == QProcess::NotRunning;
    }
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
        QFileInfo(outputPath).size() > 0)
        return Succeeded;
    // A half-written output must never pass for a result.
    QFile::remove(outputPath);
    return result;
}
