#pragma once

// The picture bundle (":/play.png" and the others), drawn at build time by icongen.
class KResources
{
public:
    // Registers the bundle with Qt's resource system; cheap and safe to call any number of
    // times from any thread. KToolWindow, KProgressWidget and KStyleSheet::install() call it, so
    // users of those never need to.
    static void init();
};
