#include "KEmuClipMaker.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QTimeZone>

#include <cerrno>
#include <signal.h>

QString KEmuClipRequest::key() const
{
    return QStringLiteral("%1_ch%2_%3_%4_%5x%6_%7_%8")
        .arg(host)
        .arg(channel)
        .arg(begin.toString(QStringLiteral("yyyyMMddhhmmss")),
             end.toString(QStringLiteral("yyyyMMddhhmmss")))
        .arg(size.width())
        .arg(size.height())
        .arg(fps)
        .arg(kbps);
}

KEmuClipMaker::KEmuClipMaker(const QString &ffmpeg, int maxJobs, QObject *parent)
    : QObject(parent), m_ffmpeg(ffmpeg), m_maxJobs(qMax(1, maxJobs)),
      m_dir(QDir::tempPath() +
            QStringLiteral("/recorder-emulator-%1-XXXXXX").arg(QCoreApplication::applicationPid()))
{
    removeStaleFolders();
}

void KEmuClipMaker::removeStaleFolders()
{
    // Folders of emulators that were killed outright (no clean exit) are removed by the next.
    const QRegularExpression name(QStringLiteral("^recorder-emulator-(\\d+)-\\w{6}$"));
    QDir temp(QDir::tempPath());
    for (const QString &entry : temp.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = name.match(entry);
        if (!m.hasMatch())
            continue;
        const qint64 pid = m.captured(1).toLongLong();
        if (pid == QCoreApplication::applicationPid() || pid <= 0)
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        if (QDir(temp.filePath(entry)).removeRecursively())
            qInfo("removed the stale folder %s", qPrintable(temp.filePath(entry)));
    }
}

KEmuClipMaker::~KEmuClipMaker()
{
    for (QProcess *p : qAsConst(m_running)) {
        p->disconnect(this);
        p->kill();
        p->waitForFinished(2000);
        delete p;
    }
}

QString KEmuClipMaker::filterScript(const KEmuClipRequest &request, const QString &titleFile)
{
    const QString mono = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf");
    const QString sans = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    const int w = request.size.width();
    const int h = request.size.height();
    const int fontSize = qMax(10, h / 15);
    QString script;
    QString labels;
    int n = 0;
    for (const KEmuArchivePiece &piece : request.pieces) {
        // The burnt-in clock is the archive moment: pts plus the piece's begin, written as if
        // UTC so that ffmpeg prints the recorder's local wall time unchanged.
        const qint64 offset =
            QDateTime(piece.begin.date(), piece.begin.time(), Qt::UTC).toSecsSinceEpoch();
        const int hue = (request.channel * 47) % 360;
        const QColor colour = QColor::fromHsv(hue, 80, 90);
        script += QStringLiteral("color=c=0x%1:s=%2x%3:r=%4:d=%5,")
                      .arg(colour.name().mid(1))
                      .arg(w)
                      .arg(h)
                      .arg(request.fps)
                      .arg(piece.seconds());
        script += QStringLiteral("drawbox=x='mod((t+%1)*%2\\,%3)-%4':y=%5:w=%4:h=%6:"
                                 "c=0xE6B41E:t=fill,")
                      .arg(offset % 8)
                      .arg(w / 8)
                      .arg(w + w / 5)
                      .arg(w / 5)
                      .arg(h / 2 - h / 16)
                      .arg(h / 8);
        script += QStringLiteral("drawtext=fontfile=%1:fontsize=%2:fontcolor=white:x=6:y=6:"
                                 "text='%{pts\\:gmtime\\:%3}',")
                      .arg(mono)
                      .arg(fontSize)
                      .arg(offset);
        script += QStringLiteral("drawtext=fontfile=%1:fontsize=%2:fontcolor=white:x=6:"
                                 "y=h-th-6:textfile=%3")
                      .arg(sans)
                      .arg(fontSize)
                      .arg(titleFile);
        script += QStringLiteral("[p%1];\n").arg(n);
        labels += QStringLiteral("[p%1]").arg(n);
        ++n;
    }
    script += QStringLiteral("%1concat=n=%2:v=1:a=0[v]\n").arg(labels).arg(n);
    return script;
}

void KEmuClipMaker::make(const KEmuClipRequest &request, QObject *context, Done done)
{
    const QString key = request.key();
    const QString cached = m_cache.value(key);
    if (!cached.isEmpty() && QFileInfo::exists(cached)) {
        QPointer<QObject> guard(context);
        QMetaObject::invokeMethod(
            this,
            [guard, done, cached]() {
                if (guard)
                    done(cached, QString());
            },
            Qt::QueuedConnection);
        return;
    }
    if (request.pieces.isEmpty()) {
        QPointer<QObject> guard(context);
        QMetaObject::invokeMethod(
            this,
            [guard, done]() {
                if (guard)
                    done(QString(), QStringLiteral("no recordings in the interval"));
            },
            Qt::QueuedConnection);
        return;
    }
    auto it = m_jobs.find(key);
    if (it == m_jobs.end()) {
        it = m_jobs.insert(key, Job{request, {}});
        m_queue << key;
    } else if (m_readAheadQueue.removeOne(key)) {
        // A guess that came true goes before the other guesses.
        m_queue << key;
    }
    it->waiters << Waiter{context, done};
    // A waiter that goes away is forgotten, so a finished job never calls into it.
    connect(context, &QObject::destroyed, this, [this, key, context]() {
        auto job = m_jobs.find(key);
        if (job == m_jobs.end())
            return;
        for (int i = job->waiters.size() - 1; i >= 0; --i) {
            if (job->waiters[i].context == context)
                job->waiters.removeAt(i);
        }
    });
    startNext();
}

void KEmuClipMaker::readAhead(const KEmuClipRequest &request)
{
    const QString key = request.key();
    if (request.pieces.isEmpty() || m_jobs.contains(key) ||
        (m_cache.contains(key) && QFileInfo::exists(m_cache.value(key))))
        return;
    m_jobs.insert(key, Job{request, {}});
    m_readAheadQueue << key;
    // Old guesses that never started are dropped: the downloads have moved on.
    while (m_readAheadQueue.size() > m_maxJobs)
        m_jobs.remove(m_readAheadQueue.takeFirst());
    startNext();
}

void KEmuClipMaker::startNext()
{
    while (m_running.size() < m_maxJobs && !(m_queue.isEmpty() && m_readAheadQueue.isEmpty())) {
        const QString key =
            m_queue.isEmpty() ? m_readAheadQueue.takeFirst() : m_queue.takeFirst();
        const KEmuClipRequest request = m_jobs.value(key).request;
        const QString base = m_dir.filePath(QStringLiteral("clip%1").arg(++m_counter));
        const QString titleFile = base + QStringLiteral(".title.txt");
        const QString scriptFile = base + QStringLiteral(".filter.txt");
        const QString output = base + QStringLiteral(".mp4");
        QFile title(titleFile);
        QFile script(scriptFile);
        if (!m_dir.isValid() || !title.open(QIODevice::WriteOnly) ||
            !script.open(QIODevice::WriteOnly)) {
            finish(key, QString(), QStringLiteral("cannot write to the cache folder"));
            continue;
        }
        title.write(request.title.toUtf8());
        title.close();
        script.write(filterScript(request, titleFile).toUtf8());
        script.close();

        auto *process = new QProcess(this);
        process->setProcessChannelMode(QProcess::MergedChannels);
        m_running << process;
        auto *timer = new QElapsedTimer;
        timer->start();
        QStringList args = {QStringLiteral("-nostdin"),
                                  QStringLiteral("-v"),
                                  QStringLiteral("error"),
                                  QStringLiteral("-y"),
                                  QStringLiteral("-filter_complex_script"),
                                  scriptFile,
                                  QStringLiteral("-map"),
                                  QStringLiteral("[v]"),
                                  QStringLiteral("-c:v"),
                                  QStringLiteral("libx264"),
                                  QStringLiteral("-preset"),
                                  QStringLiteral("ultrafast"),
                                  QStringLiteral("-tune"),
                                  QStringLiteral("stillimage"),
                                  QStringLiteral("-pix_fmt"),
                                  QStringLiteral("yuv420p"),
                                  QStringLiteral("-threads"),
                                  QStringLiteral("1"),
                                  QStringLiteral("-movflags"),
                                  QStringLiteral("+faststart")};
        if (request.kbps > 0) {
            // Filler keeps the rate constant even for these plain pictures.
            const QString rate = QString::number(request.kbps) + QLatin1Char('k');
            args << QStringLiteral("-b:v") << rate << QStringLiteral("-minrate") << rate
                 << QStringLiteral("-maxrate") << rate << QStringLiteral("-bufsize") << rate
                 << QStringLiteral("-x264-params") << QStringLiteral("nal-hrd=cbr");
        }
        args << output;
        connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                [this, process, key, output, timer, scriptFile,
                 titleFile](int code, QProcess::ExitStatus status) {
                    const QByteArray text = process->readAll().trimmed();
                    const qint64 ms = timer->elapsed();
                    delete timer;
                    m_running.removeAll(process);
                    process->deleteLater();
                    QFile::remove(scriptFile);
                    QFile::remove(titleFile);
                    if (status != QProcess::NormalExit || code != 0 ||
                        QFileInfo(output).size() == 0) {
                        QFile::remove(output);
                        finish(key, QString(),
                               QStringLiteral("ffmpeg failed (%1): %2")
                                   .arg(code)
                                   .arg(QString::fromLocal8Bit(text.left(300))));
                    } else {
                        qInfo("clip made %s in %lld ms (%lld bytes)", qPrintable(key), ms,
                              QFileInfo(output).size());
                        m_cache.insert(key, output);
                        m_cacheOrder << key;
                        // A file being sent stays readable after its name is removed.
                        while (m_cacheOrder.size() > maxCachedFiles)
                            QFile::remove(m_cache.take(m_cacheOrder.takeFirst()));
                        finish(key, output, QString());
                    }
                    startNext();
                });
        connect(process, &QProcess::errorOccurred, this,
                [this, process, key, timer](QProcess::ProcessError error) {
                    if (error != QProcess::FailedToStart)
                        return;
                    delete timer;
                    m_running.removeAll(process);
                    process->deleteLater();
                    finish(key, QString(), QStringLiteral("ffmpeg could not be started"));
                    startNext();
                });
        process->start(m_ffmpeg, args);
    }
}

void KEmuClipMaker::finish(const QString &key, const QString &path, const QString &error)
{
    const Job job = m_jobs.take(key);
    for (const Waiter &w : job.waiters)
        w.done(path, error);
}
