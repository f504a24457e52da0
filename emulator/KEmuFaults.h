#pragma once

// Faults one recorder shows on demand. Touched on the main thread only.
struct KEmuFaults
{
    bool unreachable = false; // listening sockets closed: connects are refused
    bool refuse = false;      // connections accepted and closed at once
    bool garble = false;      // answers corrupted on the wire
    bool garbleVideo = false; // pictures' content corrupted inside well-formed frames
    bool drop = false;        // requests read, connection closed without an answer
    int stallMs = 0;          // every answer delayed by this much
    int breakDownloadAt = -1; // a download connection is cut at this percentage (0..99)
    int busySearches = 1;     // "busy" answers at the start of each search
    int searchFailAfter = -1; // a search answers error 49 after this many files
};
