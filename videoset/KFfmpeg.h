#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The external ffmpeg program, run as a child process without a shell. The program is the
// one beside this program when there is one, else the one on PATH.
class KFfmpeg
{
public:
    enum Result {
        Succeeded,  // exit status 0 and a non-empty output file
        NotStarted, // the program could not be started in time
        Failed,     // it crashed, failed, ran out of time or left no output
        Cancelled   // stopped on request
    };
    // Asked while the program runs; true stops it.
    using CancelTest = std::function<bool()>;

    static constexpr int startTimeout = 30000;
    // How often a run with a time limit or a cancel test looks at them.
    static constexpr int pollInterval = 100;

    static QString defaultProgram();

    explicit KFfmpeg(const QString &program = defaultProgram());

    QString program() const { return m_program; }
    // Whether the program is there to be run: an executable file (a bare name is looked for
    // on PATH). A run that did not start with the program there failed for another reason.
    bool isAvailable() const;

    // Runs the program with the arguments and waits for it to end: without a time limit when
    // timeout is negative, else killed after timeout ms. Unless it succeeded, the output file
    // is removed.
    Result run(const QStringList &arguments, const QString &outputPath, qint64 timeout = -1,
               const CancelTest &cancelled = CancelTest()) const;

private:
    QString m_program;
};
