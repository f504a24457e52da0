#pragma once

#include <QString>
#include <QStringList>

// The external ffmpeg program, run as a child process without a shell. The program is the
// one beside this program when there is one, else the one on PATH.
class KFfmpeg
{
public:
    enum Result {
        Succeeded,  // exit status 0 and a non-empty output file
        NotStarted, // the program could not be started in time
        Failed      // it crashed, failed or left no output; the output file is removed
    };

    static constexpr int startTimeout = 30000;

    static QString defaultProgram();

    explicit KFfmpeg(const QString &program = defaultProgram());

    QString program() const { return m_program; }

    // Runs the program with the arguments and waits for it to end, without a time limit.
    Result run(const QStringList &arguments, const QString &outputPath) const;

private:
    QString m_program;
};
