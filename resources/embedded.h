// The program's own resources, compiled in by vcq_embed. Look-ups go through
// src/package/resources.h; this is the raw table underneath.
#pragma once

#include <cstddef>
#include <span>

namespace vcq::res {

struct BinResource {
    int id;
    const unsigned char* data;
    size_t size;
};

struct StringEntry {
    int id;
    const char* text;  // UTF-8
};

// Both sorted by id.
std::span<const BinResource> BinResources();
std::span<const StringEntry> StringTable();

// From the build: whether the package is the stand-in made for
// vcq-camera-sim (no VCQ_FIRMWARE_PACKAGE given), and the program's version.
bool StandInPackage();
const char* ProgramVersion();

}  // namespace vcq::res
