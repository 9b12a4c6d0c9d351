#pragma once

#include <Qt>

// The item data roles the transfer tables' models give and their delegate
// reads, beside Qt's display, decoration, tool tip and foreground roles.
namespace TransferRoles {
enum Role {
    // Column 0: the icon's resource path and the size text under the name.
    IconPath = Qt::UserRole + 1,
    SizeText,
    // The progress column: 0 to 100.
    Progress,
    // The buttons column: a QVariantList of QStringList {id, image, tool tip}.
    Buttons,
    // Any column: the row's key (a download's file id, an upload's path, a
    // history record's local path).
    Key,
    // The progress column: the status word, and the reason after it ("：...").
    StatusWord,
};
} // namespace TransferRoles
