#pragma once

class KObjectHandler;

// Parameters of a connection or diagnostics job: the object and the run options
// (connection: bit 0 asks for a login; diagnostics: always 0).
struct KDeviceJob
{
    KObjectHandler *object = nullptr;
    int options = 0;
};
