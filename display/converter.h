// Converters from true-colour pictures to console cells.
//
// PKR_TCConverter is the abstract base: a concrete converter builds its
// tables in init() and turns pictures of exactly 2x2 pixels per cell into
// cells in convertCells(); the base brings other resolutions to that form
// (convertLowRes doubles every pixel, convertHighRes box-filters 4x4 pixels
// down to 2x2). Pixels are 0x00RRGGBB words, the top byte ignored; cells are
// 16-bit words of an 80-cell-wide grid. Main thread only.
#pragma once

#include <cstdint>

struct SourceRect {
    int32_t left;
    int32_t top;
    int32_t right;   // exclusive
    int32_t bottom;  // exclusive
};

class PKR_TCConverter {
public:
    // Virtual slots, in this order: init, convertLowRes, convertCells,
    // convertHighRes, destructor, setFlags.
    virtual void init() = 0;
    virtual void convertLowRes(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                               int32_t cellRow, uint16_t* cells);
    virtual void convertCells(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                              int32_t cellRow, uint16_t* cells) = 0;
    virtual void convertHighRes(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                                int32_t cellRow, uint16_t* cells);
    virtual ~PKR_TCConverter();
    virtual void setFlags(uint32_t value) { flags = value; }

    uint32_t flags = 0;

protected:
    constexpr PKR_TCConverter() = default;
    // The scratch picture belongs to one converter: never shared by a copy.
    PKR_TCConverter(const PKR_TCConverter&) = delete;
    PKR_TCConverter& operator=(const PKR_TCConverter&) = delete;

    // Allocation that never returns null: a failure prints one line to
    // stderr and aborts, as the converters have no failure path. A request
    // of 0xFFFFFFFF bytes is the marker of an overflowed byte count and
    // fails without asking the allocator.
    static void* allocateOrAbort(uint32_t bytes);

private:
    // The front ends' temporary picture, kept from call to call and grown
    // only when a larger one is asked for, so converting frame after frame
    // of one size allocates once.
    uint32_t* scratchPicture(uint32_t bytes);

    uint32_t* scratch = nullptr;
    uint32_t scratchBytes = 0;
};
