// Window-level working state shared by the collection, the detail query and the version check.
#pragma once

#include <QString>

#include <array>

// Text slots of the window. Slots 0-3 belong to the collection (page, results piece, table
// region, row name), 4-31 to the detail query; 32-35 are spare.
inline constexpr int PagePartsCount = 36;
using PageSlots = std::array<QString, PagePartsCount>;

inline void clearPageSlots(PageSlots &parts)
{
    for (QString &slot : parts)
        slot.clear();
}
