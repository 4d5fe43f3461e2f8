// Writing the in-memory model of window definitions as a resource body in the
// stored byte layout (ui/definition_format.h).
//
// Placement, which the stored definitions of the program follow:
//   - the module string, its terminator, the first-window offset;
//   - per window, in chain order: its strings and small blocks in declaration
//     order (label, title, font block followed by its face name, icon, message,
//     help keyword, cursor, alert-key nodes, status-zone nodes), the window
//     record, its controls, then its menu bar;
//   - per control, depth first: the strings, string-list nodes and binding
//     descriptors it refers to, in the order of the fields that refer to them,
//     then the record, then its children;
//   - per menu record: its binding descriptor and strings, the record, its items.
// Each distinct string is stored once, before the first record that refers to
// it; an empty string is stored as offset 0. The resource's padding follows the
// last record as zero bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/definition.h"

namespace sk::ui {

std::vector<std::uint8_t> write_resource_body(const ResourceDefinition& resource);

}  // namespace sk::ui
