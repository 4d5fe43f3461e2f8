// Main: the procedure that owns the application frame and starts every other
// procedure from its menu, each on a thread of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sk::app {

// A procedure a menu item starts, with the stack size it asks for.
struct MenuProcedure {
    std::int32_t field = 0;       // the menu item
    const char* name = nullptr;   // the procedure's name
    void (*run)() = nullptr;      // null while the procedure is not part of this build
    std::size_t stack_size = 0;
};

// The menu items of the frame and what they start.
std::span<const MenuProcedure> menu_procedures();

// The procedure BrowseLINKDB that the frame starts at once, when it is built.
const MenuProcedure* opening_procedure();

// The text of the About box.
const char* about_text();

void Main();

}  // namespace sk::app
