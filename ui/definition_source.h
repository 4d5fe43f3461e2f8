// The readable source of window definitions, compiled into the in-memory model
// (and from there by the writer into the stored bytes). The grammar is described
// in tools/dabc/README.md; in short:
//
//   module "LKDB32$lkdb3001"
//   window "SELECTCATEGORIES$QUICKWINDOW" {
//     title "Select a Category"   at default default 158 119
//     font "MS Sans Serif" 8 -1 -1   frame 0x3004
//     button 2 { at 55 98 45 14  text "&Select" }
//   }
//   pad 4
#pragma once

#include <string>
#include <string_view>

#include "ui/definition.h"

namespace sk::ui {

// Parses a whole source. False with "line N: reason" in error on the first fault.
bool parse_definition_source(std::string_view source, ResourceDefinition& out, std::string& error);

}  // namespace sk::ui
