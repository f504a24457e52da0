#pragma once

#include <QString>

// Checks a video file the program made before it is reported as done: it opens, holds a
// video stream, its last pictures can be read and it spans what was asked for. ffmpeg can
// exit with status 0 having written a file no player reads (a full disk while writing the
// trailer), so neither its status nor the file's size is proof.
class KMediaProbe
{
public:
    struct Result
    {
        bool readable = false; // opened, a video stream, pictures read at both ends
        double seconds = 0;    // from the first picture to the end of the last one
        QString error;         // why it is not readable (English, for the log's detail)
    };

    // Opens and reads the file's first pictures and its last ones.
    static Result probe(const QString &path);

    // How much shorter than asked a file may be: a recorder cuts its files at key frames and
    // joins recordings less than two seconds apart.
    static double tolerance(double expectedSeconds);

    // True when the file is readable and spans expectedSeconds within the tolerance; otherwise
    // why not in *why. The span found goes to *seconds (0 when unreadable).
    static bool covers(const QString &path, double expectedSeconds, QString *why = nullptr,
                       double *seconds = nullptr);
};
