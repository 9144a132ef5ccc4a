// The options every command shares, read before the command's own (CLI11 lets them
// stand before or after the command's name).
#pragma once

#include <cstdint>
#include <string>

struct GlobalOptions {
    std::string chip;         // --chip NAME: the chip in the socket; empty = identify it
    std::string device;       // --device PATH: one of the programmers `devices` lists
    bool all = false;         // --all: every present programmer at once
    bool json = false;        // --json: one JSON object per line on stdout per event
    std::string database;     // --db FILE: the chip database instead of the installed one
    std::string format;       // --format bin|ihex|srec: data file format; empty = by name
    bool yes = false;         // --yes: no question asked, every one answered OK
    bool force = false;       // --force: go on when the socket holds another chip than named
                              // (or, over a bridge, a chip rated below its 3.3 V)
    bool unprotect = false;   // --unprotect: clear a bridge chip's write protection when asked
    uint32_t spiClockHz = 0;  // --spi-clock: a CH347's SPI clock, rounded down; 0 = its default
    uint32_t i2cSpeedKHz = 0; // --i2c-speed: a bridge's I2C speed, rounded down; 0 = 100 kHz
};
