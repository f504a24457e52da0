#pragma once

#include <QString>

// Folder names made from names the operator or the database gives (object names): the video
// store and the snapshot folders use this one rule, so one object has one folder name.
class KFolderName
{
public:
    // "/", "\" and NUL become "_"; a name of dots only ("." or "..", which would name the
    // folder itself or its parent) becomes as many "_"; an empty name becomes "_".
    static QString forObject(const QString &objectName);
};
