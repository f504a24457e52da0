#pragma once

// Registers every shared record and the containers passed between threads, so that queued
// connections accept them before the first record is built. Safe to call more than once.
class KMetaTypes
{
public:
    static void registerAll();
};
